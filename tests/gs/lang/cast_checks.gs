class Base {};
class Other {};
class Derived isclass Base {};
class A {
  void f(Base b, Other o, string s) {
    Derived d = cast<Derived>(b);
    o = cast<Other>(b);
    int i = (int)s;
    b = cast<Base>(5);
    float x = (float)i;
  }
};
// expect compile: cast_checks.gs(7) : cannot cast from Base to Other, line 7.
// expect compile: cast_checks.gs(7) : cannot cast from  to Other, line 7.
// expect compile: cast_checks.gs(8) : cannot cast from string to int, line 8.
// expect compile: cast_checks.gs(8) : cannot cast from  to int, line 8.
// expect compile: cast_checks.gs(9) : cannot cast from int to Base, line 9.
// expect compile: cast_checks.gs(9) : cannot cast from  to Base, line 9.
// errors: 6
