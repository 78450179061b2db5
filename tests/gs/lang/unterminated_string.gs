class A {
  string s = "no end;
};
// expect compile: unterminated_string.gs(2) : parse error, line 2
// errors: 2
