// A script that does not compile: the runner gives the compiler's messages,
// each with its file and line, and runs nothing.
include "gs.gs"
include "test.gs"

class Test {
  void Main(void) {
    Out.Print("never printed");
    Out.Print(missing);
    int n = Out.Print("x");
  }
};
// expect compile: compile_errors.gs(9) : variable missing not declared, line 9.
// expect compile: compile_errors.gs(9) : function Print not declared in class Out or derivative, line 9.
// expect compile: compile_errors.gs(10) : cannot cast from void to int, line 10.
