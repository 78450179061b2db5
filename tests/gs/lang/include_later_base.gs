// In an included file a base may come after the class deriving from it:
// its bases are resolved when the class is first used.
include "inc/late_base.gs"

class A {
  void f(Late l) { l.early = 1; l.late = 2; }
};
// expect compile: Code generation is not available in this build.
// errors: 1
