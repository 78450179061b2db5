// Expressions: integer and float arithmetic, their precedence and
// conversions, bits and shifts (>> fills with zeros, counts go modulo 32),
// comparisons and logic (whose values are the bools 0 and 1, run or
// folded), increments, texts made of values, and constants the compiler
// folds.
include "gs.gs"
include "test.gs"

static class Limits {
  public define int Big = 0x7FFFFFFF;
  public define int Folded = 2 + 3 * 4 - 20 / 3;
  public define float Half = 1.0 / 2.0;
};

class Test {
  int Square(int x) { return x * x; }
  int Same(int x) { return x; }
  float Real(float x) { return x; }

  void Main(void) {
    int a = 7, b = -2;
    Out.Print("int: " + (a + b) + " " + (a - b) + " " + (a * b) + " " + (a / b) + " " + (a % b));
    Out.Print("negative: " + (-7 / 2) + " " + (-7 % 2) + " " + (-a));
    Out.Print("precedence: " + (2 + 3 * 4) + " " + ((2 + 3) * 4) + " " + (20 - 8 - 2) + " " + (Square(3) + 1));
    Out.Print("folded: " + Limits.Folded + " " + Limits.Half);
    Out.Print("wraps: " + (Limits.Big + 1) + " " + (Limits.Big * 2));
    int min = -2147483647 - 1;
    b = -1;
    Out.Print("min / -1: " + (min / b) + ", min % -1: " + (min % b));
    int m = -16;
    Out.Print("bits: " + (12 & 10) + " " + (12 | 10) + " " + (12 ^ 10) + " " + ~0 + " " + (1 << 4) + " " + (m >> 28) + " " + (m << 33));
    float f = 1.5, g = 2;
    Out.Print("float: " + (f + g) + " " + (f * g) + " " + (g / f) + " " + (a / g) + " " + -f);
    Out.Print("conversions: " + (int) 3.99 + " " + (int) -3.99 + " " + (float) 7 / 2 + " " + 7 / 2);
    Out.Print("compare: " + (a > b) + " " + (a == 7) + " " + (f <= 1.5) + " " + (a != 7) + " " + ("b" > "a"));
    bool t = true, n = false;
    Out.Print("logic: " + (t and n) + " " + (t or n) + " " + !t + " " + (a > 0 and b < 0));
    bool both = Same(2) and Same(3);
    Out.Print("logic values: " + (int) both + " " + (both == true) + " " + (int) (Same(0) or Same(5)) + " " +
              (int) (Same(0) and Same(3)) + " " + (int) (Same(0) or Same(0)) + " " + (int) ("x" and Same(7)) + " " +
              (int) (2 and 3) + " " + (int) (0 or 5));
    float z = -0.0;
    Out.Print("negative zero: " + !z + " " + !Real(-0.0) + " " + !-0.0 + " " + !0.5);
    int i = 5;
    int j = i++ + ++i;
    Out.Print("steps: " + i + " " + j + " " + i-- + " " + --i);
    string s = "x";
    s = s + 1 + 2.5 + true;
    Out.Print("to text: " + s);
  }
};
// expect: int: 5 9 -14 -3 1
// expect: negative: -3 -1 -7
// expect: precedence: 14 20 10 10
// expect: folded: 8 0.500000
// expect: wraps: -2147483648 -2
// expect: min / -1: -2147483648, min % -1: 0
// expect: bits: 8 14 6 -1 16 15 -32
// expect: float: 3.500000 3.000000 1.333333 3.500000 -1.500000
// expect: conversions: 3 -3 3.500000 3
// expect: compare: true true true false true
// expect: logic: false true false true
// expect: logic values: 1 true 1 0 0 1 1 1
// expect: negative zero: true true true false
// expect: steps: 7 12 7 5
// expect: to text: x12.500000true
