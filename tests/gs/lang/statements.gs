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
// expect compile: Checking and code generation are not available in this build.
// errors: 1
