// One syntax error: the file stops there and counts two errors.
class A {
  int f() {
    int x = 1;
    x = ;
    y = ;
  }
};
// expect compile: syntax_error_line.gs(5) : parse error, line 5
// errors: 2
