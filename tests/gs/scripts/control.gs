// Control flow: if and else, while and for loops with break and continue,
// switch with fall-through and default, goto, return from inside loops,
// and recursion.
include "gs.gs"
include "test.gs"

class Test {
  string Grade(int n) {
    if (n >= 90) return "A";
    else if (n >= 50) return "B";
    return "C";
  }

  string Switch(int n) {
    string s = "";
    switch (n) {
      case 1: s = s + "one ";
      case 2: s = s + "two "; break;
      case 10: s = s + "ten"; break;
      case -5: s = s + "minus five"; break;
      default: s = s + "other";
    }
    return s;
  }

  int FirstOver(int limit) {
    int i;
    for (i = 1; ; i = i * 2)
      if (i > limit) return i;
    return -1;
  }

  int Fib(int n) {
    if (n < 2) return n;
    return Fib(n - 1) + Fib(n - 2);
  }

  void Main(void) {
    Out.Print("if: " + Grade(95) + Grade(50) + Grade(10));
    int i, sum = 0;
    for (i = 0; i < 10; i++) {
      if (i % 2) continue;
      if (i > 6) break;
      sum = sum + i;
    }
    Out.Print("for: " + sum + " " + i);
    int n = 0;
    while (n < 100) n = n * 3 + 1;
    Out.Print("while: " + n);
    Out.Print("switch: " + Switch(1) + "| " + Switch(2) + "| " + Switch(10) + "| " + Switch(-5) + "| " + Switch(7));
    int tries = 0;
again:
    tries++;
    if (tries < 3) goto again;
    Out.Print("goto: " + tries);
    Out.Print("return in a loop: " + FirstOver(100));
    Out.Print("recursion: " + Fib(15));
    string rows = "";
    int r, c;
    for (r = 0; r < 3; r++) {
      for (c = 0; c < 3; c++) {
        if (c > r) break;
        rows = rows + " " + r + c;
      }
    }
    Out.Print("nested:" + rows);
  }
};
// expect: if: ABC
// expect: for: 12 8
// expect: while: 121
// expect: switch: one two | two | ten| minus five| other
// expect: goto: 3
// expect: return in a loop: 128
// expect: recursion: 610
// expect: nested: 00 10 11 20 21 22
