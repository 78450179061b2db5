class A {
  int f() { return 1.5; }
  void g() { return 1; }
  int h() { return; }
  object o() { return null; }
  string s() { return "s"; }
};
// expect compile: return_mismatch.gs(2) : return type mismatch, expecting int, line 2.
// expect compile: return_mismatch.gs(3) : return type mismatch, expecting void, line 3.
// expect compile: return_mismatch.gs(4) : return type mismatch, expecting int, line 4.
// errors: 3
