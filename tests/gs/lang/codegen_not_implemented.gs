// A function declared and never defined (and not native) has no code.
class Promise {
  int Later(int x);
  int Now() { return 1; }
};
// expect compile: Function Later(int) not implemented
// expect compile: \nInternal Code Generation Error...
// errors: 1
