class A {
  void v() {}
  void f() {
    if (v()) ;
    while (v()) ;
    for (; v(); ) ;
    for (;;) break;
  }
};
// expect compile: invalid_conditions.gs(4) : invalid if expression, line 4.
// expect compile: invalid_conditions.gs(5) : invalid while expression, line 5.
// expect compile: invalid_conditions.gs(6) : invalid for expression, line 6.
// errors: 3
