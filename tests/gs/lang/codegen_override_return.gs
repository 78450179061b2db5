// An override that returns another type than the function it replaces
// cannot share its method slot: the library is not written.
class Base {
  public int Value() { return 1; }
};
class Derived isclass Base {
  public float Value() { return 2.0; }
};
// expect compile: Wrong return type on function: 
// expect compile: $float@Derived::Value()
// expect compile: \n
// expect compile: Internal Compiler Error.\n
// errors: 1
