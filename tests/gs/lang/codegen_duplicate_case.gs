// Two cases of one value: the second is reported when the switch's table
// is made, and the code generation fails.
class Duplicate {
  int Pick(int n) {
    switch (n) {
      case 2: return 1;
      case 4: return 2;
      case 2: return 3;
      default: return 0;
    }
    return -1;
  }
};
// expect compile: codegen_duplicate_case.gs(8) : case has duplicate value, line 8
// expect compile: \nInternal Code Generation Error...
// errors: 1
