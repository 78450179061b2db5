class A {
  void f(int i, float x) {
    switch (x) { case 1: break; default: break; }
    switch (i) { default: break; }
    switch (i) { { case 1: break; } }
  }
};
// expect compile: switch_checks.gs(3) : switch expression not integral, line 3.
// expect compile: switch_checks.gs(4) : switch statement without case, line 4.
// expect compile: switch_checks.gs(5) : switch statement without case, line 5.
// expect compile: switch_checks.gs(5) : switch statement without default, line 5.
// errors: 4
