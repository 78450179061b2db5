class A {
  void f() {
    x = 1;
    int y = z + 1;
  }
  void g() { f(); y = 2; }
};
// expect compile: variable_not_declared.gs(3) : variable x not declared, line 3.
// expect compile: variable_not_declared.gs(3) : cannot cast from int to , line 3.
// expect compile: variable_not_declared.gs(4) : variable z not declared, line 4.
// expect compile: variable_not_declared.gs(4) : illegal types for operand +, line 4
// expect compile: variable_not_declared.gs(4) : cannot cast from  to int, line 4.
// expect compile: variable_not_declared.gs(6) : variable y not declared, line 6.
// expect compile: variable_not_declared.gs(6) : cannot cast from int to , line 6.
// errors: 7
