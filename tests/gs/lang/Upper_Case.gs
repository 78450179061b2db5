// Messages name the file in lower case.
class A { int x };
// expect compile: upper_case.gs(2) : parse error, line 2
// errors: 2
