class A {
  void f(int x);
  int f(int x) { return x; }
  int g() { return "unchecked"; }
};
// expect compile: function_differs_by_return.gs(3) : Function differs only by return type, line 3.
// errors: 1
