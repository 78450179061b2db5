// Loops and branches: a for without a condition loops on PUSH1, continue in
// a for runs the step, while tests at its top, and if jumps past what it
// does not run.
class Loops {
  int Count(int n) {
    int i, total = 0;
    for (i = 0; ; i++) {
      if (i == n) break;
      if (i == 2) continue;
      total = total + i;
    }
    while (total > 100) total = total / 2;
    if (total) total = 1; else total = 2;
    return total;
  }
};
// code Loops::Count: PUSH0; POPL 3; PUSH0; POPL 2; PUSH1; JZ 74; LOAD 2; LOAD 1; ICMP; EQZ; JZ 32; JMP 74
// code Loops::Count: LOAD 2; PUSHI 2; ICMP; EQZ; JZ 52; JMP 62; LOAD 3; LOAD 2; ADD; POPL 3; LOAD 2; INC
// code Loops::Count: POPL 2; JMP 8; LOAD 3; PUSHI 100; ICMP; GTZ; JZ 106; LOAD 3; PUSHI 2; DIV; POPL 3
// code Loops::Count: JMP 74; LOAD 3; JZ 123; PUSH1; POPL 3; JMP 131; PUSHI 2; POPL 3; LOAD 3; RETV
// errors: 0
