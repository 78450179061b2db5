class A {
  Missing f(Gone g) { return null; }
  Absent field;
  void h() {
    Nowhere n;
    object o = cast<Lost>(me);
  }
};
// expect compile: object_not_declared.gs(2) : object<Missing> not declared, line 2.
// expect compile: object_not_declared.gs(2) : object<Gone> not declared, line 2.
// expect compile: object_not_declared.gs(3) : object<Absent> not declared, line 3.
// expect compile: object_not_declared.gs(5) : object<Nowhere> not declared, line 5.
// expect compile: object_not_declared.gs(6) : object<Lost> not declared, line 6.
// expect compile: object_not_declared.gs(6) : cannot cast from A to Lost, line 6.
// expect compile: object_not_declared.gs(6) : cannot cast from  to object, line 6.
// errors: 7
