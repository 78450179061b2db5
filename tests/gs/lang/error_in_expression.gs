class A {
  int f() { return 1; }
  void g() {
    f()();
  }
};
// expect compile: error_in_expression.gs(4) : Error in expression, line 4.
// errors: 1
