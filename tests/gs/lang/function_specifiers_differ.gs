class A {
  public void f();
  void f() {}
  void g();
  void g();
};
// expect compile: function_specifiers_differ.gs(3) : Function specifiers differ from prototype, line 3.
// errors: 1
