class A {
  void f(int i) {
    case 1: i = 0;
    default: i = 1;
    switch (i) {
      case i: break;
      case 2.5: break;
      default: break;
      default: break;
    }
  }
};
// expect compile: case_and_default.gs(3) : illegal case, line 3.
// expect compile: case_and_default.gs(4) : illegal default, line 4.
// expect compile: case_and_default.gs(6) : case expression not constant or integral, line 6.
// expect compile: case_and_default.gs(7) : case expression not constant or integral, line 7.
// expect compile: case_and_default.gs(9) : switch already has default, line 9.
// errors: 5
