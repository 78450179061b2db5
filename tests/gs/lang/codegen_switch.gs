// Switch tables: the values sorted with their offsets, the default apart,
// and without a default the unmatched values go on after the body.
class Switches {
  int Sorted(int n) {
    int r;
    switch (n) {
      case 5: r = 50; break;
      case 1: r = 10;
      case 3: r = 30; break;
      default: r = 0;
    }
    return r;
  }
  int Fallback(int n) {
    int r = 7;
    switch (n) {
      case -2: r = 1;
      default: ;
    }
    return r;
  }
};
// code Switches::Sorted: LOAD 1; SWITCH 1->47 3->55 5->34 default->68; PUSHI 50; POPL 2; JMP 72; PUSHI 10
// code Switches::Sorted: POPL 2; PUSHI 30; POPL 2; JMP 72; PUSH0; POPL 2; LOAD 2; RETV
// code Switches::Fallback: PUSHI 7; POPL 2; LOAD 1; SWITCH -2->26 default->30; PUSH1; POPL 2; LOAD 2; RETV
// errors: 0
