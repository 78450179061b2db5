class A {
  int v = 2;
  define int K = v;
  define int L;
  define int M = 2 + 3;
  define string S = 5;
};
// expect compile: define_not_constant.gs(3) : define variable must have a const assignment, line 3.
// expect compile: define_not_constant.gs(4) : define variable must have a const assignment, line 4.
// errors: 2
