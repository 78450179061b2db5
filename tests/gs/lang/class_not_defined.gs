class Base {};
class A {
  void f(Base b) {
    Phantom p;
    b = p;
  }
};
// expect compile: class_not_defined.gs(4) : object<Phantom> not declared, line 4.
// expect compile: class_not_defined.gs(5) : class Phantom not defined, line 5.
// errors: 2
