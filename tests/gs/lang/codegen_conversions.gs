// Conversions on the way into a place: an object of a derived class stored
// as its base (variable, field, element, argument, return) is cast to the
// base; floats go to int and bool with FTOI, ints and bools to float with
// ITOF, an int into a bool as it is; a bool compared with a float is made
// a float first.
class Shape {
  public int sides;
};
class Square isclass Shape {
  Shape kept;
  Shape[] all;
  Shape Keep(Shape s) { kept = s; return s; }
  Shape Make() {
    Square q = new Square();
    Shape s = q;
    kept = q;
    all[0] = q;
    Keep(q);
    return q;
  }
  void Numbers(float f, int i, bool b) {
    i = f;
    b = f;
    f = i;
    f = b;
    b = i;
    b = b == f;
    b = f > b;
    b = true == 1.0;
  }
};
// code Square::Keep: LOADO 1; POPMO 5; LOADO 1; RETO
// code Square::Make: NEWOBJ Square; POPLO 1; LOADO 1; CAST Shape; POPLO 2; LOADO 1; CAST Shape; POPMO 5
// code Square::Make: GETMO 6; PUSH0; LOADO 1; CAST Shape; APOPO; LOADO 0; LOADO 1; CAST Shape; CALL -1 0
// code Square::Make: POPO; LOADO 1; CAST Shape; RETO
// code Square::Numbers: LOAD 1; FTOI; POPL 2; LOAD 1; FTOI; POPL 3; LOAD 2; ITOF; POPL 1; LOAD 3; ITOF
// code Square::Numbers: POPL 1; LOAD 2; POPL 3; LOAD 3; ITOF; LOAD 1; FCMP; EQZ; POPL 3; LOAD 1; LOAD 3; ITOF
// code Square::Numbers: FCMP; GTZ; POPL 3; PUSH1; POPL 3; RET
// errors: 0
