// An illegal operand, then the return mismatch its error type causes.
class A {
  int f() { return "a" - 1; }
};
// expect compile: return_follow_on.gs(3) : illegal types for operand -, line 3
// expect compile: return_follow_on.gs(3) : return type mismatch, expecting int, line 3.
// errors: 2
