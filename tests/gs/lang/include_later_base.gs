// In an included file a base may come after the class deriving from it:
// its bases are resolved when the class is first used, and a local of the
// same name as a base is not taken for it.
include "inc/late_base.gs"

class A {
  void f(Late l) { int Early = 1; l.early = Early; l.late = 2; }
};
// errors: 0
