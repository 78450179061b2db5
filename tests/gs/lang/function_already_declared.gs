class A {
  void f(int x) {}
  void f(float x) {}
  void f(int y) {}
  int g() { return "unchecked"; }
};
// expect compile: function_already_declared.gs(4) : Function f(int) already declared, line 4.
// errors: 1
