class A {
  void f(int i, int[] a, float[] x, string s, object o) {
    i = i.size();
    i = a.size() + s.size();
    bool b = i.isclass(A);
    b = o.isclass(Nothing);
    i.copy(a);
    a.copy(i);
    a.copy(x);
    a.copy(a);
  }
};
// expect compile: size_isclass_copy.gs(3) : .size operator requires an array type, line 3.
// expect compile: size_isclass_copy.gs(3) : cannot cast from  to int, line 3.
// expect compile: size_isclass_copy.gs(5) : .isclass operator requires an object type, line 5.
// expect compile: size_isclass_copy.gs(5) : cannot cast from  to bool, line 5.
// expect compile: size_isclass_copy.gs(6) : class Nothing not declared for .isclass operator, line 6.
// expect compile: size_isclass_copy.gs(6) : cannot cast from  to bool, line 6.
// expect compile: size_isclass_copy.gs(7) : .copy operator requires an array type, line 7.
// expect compile: size_isclass_copy.gs(8) : .copy expression must be an array type, line 8.
// expect compile: size_isclass_copy.gs(9) : left and right types incompatible for .copy operator, line 9.
// errors: 9
