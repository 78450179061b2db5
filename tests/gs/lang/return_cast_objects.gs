class Base {};
class Other {};
class Derived isclass Base {};
class A {
  Base f(Other o) { return o; }
  Base g(Derived d) { return d; }
};
// expect compile: return_cast_objects.gs(5) : cannot cast from object<Other> to object<Base>, line 5.
// errors: 1
