class Plain { public define int K = 4; };
static class Util { public define int K = 5; };
class A {
  void f() {
    object o = Plain;
    object u = Util;
    int k = Plain.K + Util.K;
  }
};
// expect compile: class_not_static.gs(5) : class Plain is not static, line 5.
// errors: 1
