static class Util {};
game class World {};
class Thing {};
class A {
  void f(float x) {
    int i = new int();
    object o = new object();
    int[] a = new int[x];
    Thing t = new Thing(1);
    o = new Unknown();
    o = new Util();
    o = new World();
    t = new Thing();
    string s = new string();
  }
};
// expect compile: new_checks.gs(6) : cannot new type int, line 6.
// expect compile: new_checks.gs(6) : cannot cast from  to int, line 6.
// expect compile: new_checks.gs(7) : cannot new unnamed object, line 7.
// expect compile: new_checks.gs(7) : cannot cast from  to object, line 7.
// expect compile: new_checks.gs(8) : non-integral expression for new[], line 8.
// expect compile: new_checks.gs(8) : cannot cast from  to int[], line 8.
// expect compile: new_checks.gs(9) : constructors not yet supported, line 9.
// expect compile: new_checks.gs(9) : cannot cast from  to Thing, line 9.
// expect compile: new_checks.gs(10) : cannot find class Unknown in this translation unit, line 10.
// expect compile: new_checks.gs(10) : cannot cast from  to object, line 10.
// expect compile: new_checks.gs(11) : cannot new static or game class, line 11.
// expect compile: new_checks.gs(11) : cannot cast from  to object, line 11.
// expect compile: new_checks.gs(12) : cannot new static or game class, line 12.
// expect compile: new_checks.gs(12) : cannot cast from  to object, line 12.
// errors: 14
