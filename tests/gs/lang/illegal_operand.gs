class A {
  void f(int i, bool b, string s, object o) {
    i = i * b;
    i = i << 1.5;
    b = s < o;
    b = o and null;
    s = s + o;
  }
};
// expect compile: illegal_operand.gs(3) : illegal types for operand *, line 3
// expect compile: illegal_operand.gs(3) : cannot cast from  to int, line 3.
// expect compile: illegal_operand.gs(4) : illegal types for operand <<, line 4
// expect compile: illegal_operand.gs(4) : cannot cast from  to int, line 4.
// expect compile: illegal_operand.gs(5) : illegal types for operand <, line 5
// expect compile: illegal_operand.gs(5) : cannot cast from  to bool, line 5.
// expect compile: illegal_operand.gs(6) : illegal types for operand and, line 6
// expect compile: illegal_operand.gs(6) : cannot cast from  to bool, line 6.
// expect compile: illegal_operand.gs(7) : illegal types for operand +, line 7
// expect compile: illegal_operand.gs(7) : cannot cast from  to string, line 7.
// errors: 10
