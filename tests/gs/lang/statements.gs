// Every statement form.
class Statements {
  void Work(int n) {
    int i, total = 0;
    for (i = 0; i < n; i++, total++) {
      if (i == 3) continue;
      else if (i > 7) break;
    }
    for (;;) { break; }
    while (n > 0) n--;
    switch (n) {
      case 1: total = 1; break;
      case -2:
      default: total = 0;
    }
    again:
    if (total) goto again;
    wait () {
      on "Timer", "Tick": { total++; continue; }
      on "Object", "Moved", msg: break;
    }
    {
      ;
    }
    return;
  }
};
// expect compile: statements.gs(20) : variable msg not declared, line 20.
// expect compile: statements.gs(20) : on statement requires object type for third parameter, line 20
// errors: 2
