class A {
  void f() {
    Ghost g;
    g.x = 1;
  }
};
// expect compile: member_of_undeclared_class.gs(3) : object<Ghost> not declared, line 3.
// expect compile: Internal compiler error
// expect compile: member_of_undeclared_class.gs(4) : cannot cast from int to , line 4.
// errors: 2
