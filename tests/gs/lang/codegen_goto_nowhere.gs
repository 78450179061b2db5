// A goto to a label never placed is reported with its own line when the
// function ends, and the code generation fails.
class Jumps {
  void Nowhere(int n) {
    if (n) goto missing;
    n = 1;
  }
};
// expect compile: codegen_goto_nowhere.gs(5) : no matching label, line 5
// expect compile: \nInternal Code Generation Error...
// errors: 1
