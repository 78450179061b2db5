class A {
  static int x;
  final native int y;
  public define int z = 1;
};
// expect compile: member_invalid_specifiers.gs(2) : member declaration has invalid specifiers, line 2.
// expect compile: member_invalid_specifiers.gs(3) : member declaration has invalid specifiers, line 3.
// errors: 2
