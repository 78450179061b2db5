class A {
  void f(string s, bool b, int i) {
    i = -s;
    i = ~b;
    b = !null;
    i = +i;
  }
};
// expect compile: illegal_unary_operand.gs(3) : illegal types for unary operand -, line 3
// expect compile: illegal_unary_operand.gs(3) : cannot cast from  to int, line 3.
// expect compile: illegal_unary_operand.gs(4) : illegal types for unary operand ~, line 4
// expect compile: illegal_unary_operand.gs(4) : cannot cast from  to int, line 4.
// expect compile: illegal_unary_operand.gs(5) : illegal types for unary operand !, line 5
// expect compile: illegal_unary_operand.gs(5) : cannot cast from  to bool, line 5.
// errors: 6
