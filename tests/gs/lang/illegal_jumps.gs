class A {
  void f(int i) {
    break;
    continue;
    switch (i) { case 1: continue; default: break; }
    while (i) { if (i) break; else continue; }
  }
};
// expect compile: illegal_jumps.gs(3) : illegal break, line 3.
// expect compile: illegal_jumps.gs(4) : illegal continue, line 4.
// expect compile: illegal_jumps.gs(5) : illegal continue, line 5.
// errors: 3
