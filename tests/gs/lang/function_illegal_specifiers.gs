class A {
  static void f() {}
  native thread void g();
  define int h();
  public native void ok();
};
// expect compile: function_illegal_specifiers.gs(2) : Function has illegal declaration specifiers, line 2.
// expect compile: function_illegal_specifiers.gs(3) : Function has illegal declaration specifiers, line 3.
// expect compile: function_illegal_specifiers.gs(4) : Function has illegal declaration specifiers, line 4.
// errors: 3
