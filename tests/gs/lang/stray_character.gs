class A {
  int x;
  # int y;
};
// expect compile: stray_character.gs(3) : parse error, line 3
// errors: 2
