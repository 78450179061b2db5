class Plain { public int v; };
static class Util { public int v; };
class A {
  void f(int i) {
    i = Plain.v;
    i = Plain.missing;
    i = Util.v;
  }
};
// expect compile: static_member_misuse.gs(5) : Plain is not a static class or variable within this class, line 5.
// expect compile: static_member_misuse.gs(5) : cannot cast from  to int, line 5.
// expect compile: static_member_misuse.gs(6) : Plain is not a static class or variable within this class, line 6.
// expect compile: static_member_misuse.gs(6) : cannot cast from  to int, line 6.
// errors: 4
