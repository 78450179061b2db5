// A goto reaches a label placed before or after it.
class Jumps {
  int Back(int n) {
    again:
    n = n - 1;
    if (n > 0) goto again;
    goto done;
    n = 5;
    done:
    return n;
  }
};
// code Jumps::Back: LOAD 1; PUSH1; SUB; POPL 1; LOAD 1; PUSH0; ICMP; GTZ; JZ 24; JMP 0; JMP 37; PUSHI 5
// code Jumps::Back: POPL 1; LOAD 1; RETV
// errors: 0
