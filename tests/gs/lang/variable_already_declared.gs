class A {
  int x;
  float x;
  void f(int a, int a) {
    int b;
    string b;
    {
      int b;
    }
  }
};
// expect compile: variable_already_declared.gs(3) : Variable x already declared in this scope, line 3.
// expect compile: variable_already_declared.gs(4) : Variable a already declared in this scope, line 4.
// expect compile: variable_already_declared.gs(6) : Variable b already declared in this scope, line 6.
// errors: 3
