// A class deriving from itself is refused, and the failure is not repeated
// when the class is used.
class A isclass A {
  public int x;
  void f() { x = 1; }
};
class B isclass A {
  void g(A a) { a.x = 2; }
};
// expect compile: cyclic_self.gs(3) : Class A and A causes cyclic derivation, line 3.
// errors: 1
