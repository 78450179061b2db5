class A {
  void f(int[] a, int i, float x, string s) {
    a = i[0, 1];
    a = a[x, 1];
    a = a[1, x];
    s = s[, 2] + s[1, ];
  }
};
// expect compile: range_checks.gs(3) : int not an array type for [,] operator, line 3
// expect compile: range_checks.gs(3) : cannot cast from  to int[], line 3.
// expect compile: range_checks.gs(4) : left index not integral for [,] operator, line 4
// expect compile: range_checks.gs(4) : cannot cast from  to int[], line 4.
// expect compile: range_checks.gs(5) : right index not integral for [,] operator, line 5
// expect compile: range_checks.gs(5) : cannot cast from  to int[], line 5.
// errors: 6
