class A {
  thread void f(int n) {
    wait () {}
    wait () { on "A", "B": break; }
    on "Outside", "Wait": n = 0;
    on "A", 5: n = 1;
    on "A", "B", n: n = 2;
    object m;
    on "A", "B", m: n = 3;
  }
};
// expect compile: wait_and_on.gs(3) : wait statement must have at least 1 on statement, line 3.
// expect compile: wait_and_on.gs(6) : on statement requires string constant for major and minor message types, line 6
// expect compile: wait_and_on.gs(7) : on statement requires object type for third parameter, line 7
// errors: 3
