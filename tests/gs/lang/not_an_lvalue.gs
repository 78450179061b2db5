class A {
  int g() { return 1; }
  void f(int i) {
    ++g();
    i++;
    (i + 1)--;
  }
};
// expect compile: not_an_lvalue.gs(4) : expression not an l-value for ++ operator, line 4
// expect compile: not_an_lvalue.gs(6) : expression not an l-value for -- operator, line 6
// errors: 2
