class Base { final void f() {} void g() {} };
class Derived isclass Base {
  void g() {}
  void f() {}
};
// expect compile: override_final.gs(4) : Cannot override final function, line 4.
// errors: 1
