// Calls: the target, the arguments, then CALL with the negated argument
// count and the method slot; natives with CALLN, thread functions with
// CALLT, the inherited version with INHERITED; a value returned and not
// used is dropped.
class Base {
  public int Twice(int x) { return x * 2; }
};
game class Caller isclass Base {
  public native int Native(int a, string b);
  public thread void Worker(int a) { }
  public int Twice(int x) { return inherited(x) + 1; }
  void Run(Caller other) {
    int v = Twice(3);
    other.Twice(v);
    Native(v, "b");
    Worker(1);
    other.Worker(2);
  }
};
// code Base::Twice: LOAD 1; PUSHI 2; MUL; RETV
// code Caller::Worker: RET
// code Caller::Twice: LOADO 0; LOAD 1; INHERITED -1; PUSH1; ADD; RETV
// code Caller::Run: LOADO 0; PUSHI 3; CALL -1 3; POPL 2; LOADO 1; LOAD 2; CALL -1 3; POP; LOADO 0; LOAD 2
// code Caller::Run: PUSHS "b"; CALLN -2 1; POP; LOADO 0; PUSH1; CALLT -1 2; LOADO 1; PUSHI 2; CALLT -1 2; RET
// errors: 0
