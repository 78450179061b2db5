// Every operator and constant form.
class Expressions {
  int Use(int[] a, string s, Expressions other) {
    int x = 1 + 2 * 3 - 4 / 5 % 6;
    x = x << 1 >> 2 & 0xFF ^ 7 | 'c';
    bool b = x < 1 or x > 2 and x <= 3 and x >= 4 and x == 5 or x != 6 and !true;
    float f = (float)x + .5 - 1.f * -f;
    s = s[1, 2] + s[, 2] + s[1, ] + "tab\there" + L"wide";
    x = a[0] + a.size() + ~x + +x + -x + ++x + --x + x++ + x--;
    b = other.isclass(Expressions);
    a.copy(new int[10]);
    other = cast<Expressions> me;
    other = new Expressions();
    other.Use(a, s, null);
    int[] dup = (int[]) a;
    return x, x;
  }
};
// expect compile: expressions.gs(15) : cannot cast from int[] to int, line 15.
// expect compile: expressions.gs(15) : cannot cast from  to int[], line 15.
// errors: 2
