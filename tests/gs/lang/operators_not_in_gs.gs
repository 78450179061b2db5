// "&&" scans as two "&", so a second operand is missing.
class A {
  bool f(bool a, bool b) {
    return a && b;
  }
};
// expect compile: operators_not_in_gs.gs(4) : parse error, line 4
// errors: 2
