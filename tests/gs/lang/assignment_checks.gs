class Base {};
class Other {};
class A {
  int g() { return 1; }
  void f(int i, string s, Base b, Other o) {
    i = s;
    g() = 1;
    b = o;
    s = i;
    b = null;
  }
};
// expect compile: assignment_checks.gs(6) : cannot cast from string to int, line 6.
// expect compile: assignment_checks.gs(7) : illegal l-value for assignment, line 7.
// expect compile: assignment_checks.gs(8) : cannot cast from object<Other> to object<Base>, line 8.
// errors: 3
