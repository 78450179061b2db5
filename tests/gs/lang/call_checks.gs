class Left { public void f(int x) {} };
class Right { public void f(int x) {} };
class Both isclass Left, Right {
  void g() { f(1); }
};
class Hidden { void secret() {} public void open() {} };
class A {
  void f(int x) {}
  void f(float x) {}
  void f(string s) {}
  void g(Hidden h) {
    f(1);
    nothing(1);
    h.secret();
    h.open();
    h.missing();
    f(1, 2);
  }
};
// expect compile: call_checks.gs(4) : function call f is ambiguous, line 4.
// expect compile: call_checks.gs(13) : function nothing not declared, line 13.
// expect compile: call_checks.gs(14) : function secret not public in object Hidden, line 14.
// expect compile: call_checks.gs(16) : function missing not declared in class Hidden or derivative, line 16.
// expect compile: call_checks.gs(17) : function f not declared, line 17.
// errors: 5
