// A native function is bound at run time: it may not have a body.
class Natives {
  native int Bound(int x) { return x; }
};
// expect compile: Native function Bound(int) has been implemented
// expect compile: \nInternal Code Generation Error...
// errors: 1
