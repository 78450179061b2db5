// 62 blocks inside a function body reach the deepest scope; the 63rd is one
// too many and closes nothing.
class A {
  void f(int p) {
{ { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { { 
      int deepest = p;
      { int tooDeep = deepest; }
      deepest = p;
} } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } } 
    p = 1;
  }
};
// expect compile: blocks_nested_too_deep.gs(7) : Blocks nested too deep, line 7.
// errors: 1
