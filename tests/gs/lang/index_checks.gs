class A {
  void f(int[] a, int i, float x, string s) {
    i = i[0];
    i = a[x];
    i = s[1] + a[i];
  }
};
// expect compile: index_checks.gs(3) : int not an array type for [] operator, line 3
// expect compile: index_checks.gs(3) : cannot cast from  to int, line 3.
// expect compile: index_checks.gs(4) : index not integral for [] operator, line 4
// expect compile: index_checks.gs(4) : cannot cast from  to int, line 4.
// errors: 4
