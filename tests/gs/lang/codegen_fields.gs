// Fields: initial values run in the class's initialiser, which ends with
// one RET; define constants take no code; the fields that hold references
// are listed for the loader.
class Fields {
  define int Limit = 4;
  int count = Limit * 2;
  string name = "fields", other;
  float ratio = 1;
  int[] list;
  bool flag;
  Fields next;
  int Sum() { return count + Limit; }
  // A step of a field of "me" whose value is not used: load, step, store.
  void Bump() { count++; --count; ratio++; }
};
class Empty {
};
// code Fields::Sum: GETM 3; PUSHI 4; ADD; RETV
// code ::Fields: PUSHI 8; POPM 3; PUSHS "fields"; POPMO 4; PUSH1; ITOF; POPM 6; RET
// code Fields::Bump: GETM 3; INC; POPM 3; GETM 3; DEC; POPM 3; GETM 6; FINC; POPM 6; RET
// errors: 0
