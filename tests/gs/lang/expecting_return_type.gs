class A {
  int f(int x) {
    if (x) return 1;
  }
  Soup g() {}
  void h() {}
  int k(int x) {
    return x;
    x = 2;
  }
};
class Soup {};
// expect compile: expecting_return_type.gs(4) : expecting return type of int, line 4.
// expect compile: expecting_return_type.gs(5) : object<Soup> not declared, line 5.
// expect compile: expecting_return_type.gs(5) : expecting return type of Soup, line 5.
// expect compile: expecting_return_type.gs(10) : expecting return type of int, line 10.
// errors: 4
