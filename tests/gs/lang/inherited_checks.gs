class Base { void f(int x) {} };
class A isclass Base {
  int v = inherited();
  void f(int x) { inherited(x); me.inherited(x); }
  native void n() { inherited(); }
  thread void t() { inherited(); }
  void g(int x) { inherited("x"); }
};
// expect compile: inherited_checks.gs(3) : internal compiler error while parsing 'inherited', line 3.
// expect compile: inherited_checks.gs(3) : cannot cast from  to int, line 3.
// expect compile: inherited_checks.gs(4) : 'inherited' can only be used on current function, line 4.
// expect compile: inherited_checks.gs(5) : 'inherited' can not be used on native or thread function, line 5.
// expect compile: inherited_checks.gs(6) : 'inherited' can not be used on native or thread function, line 6.
// expect compile: inherited_checks.gs(7) : Error in expression, line 7.
// errors: 6
