final class Leaf {};
class A
  isclass Leaf {};
// expect compile: base_final.gs(3) : Cannot extend final class Leaf, line 3.
// errors: 1
