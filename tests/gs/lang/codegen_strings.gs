// Strings: a comparison with a string converts the other side by its own
// type, on either side; a string taken from a variable, a call or a cast
// is copied when assigned or given as an initialiser, a constant is not.
class Strings {
  string s;
  string Name() { return "name"; }
  bool Compare(string t, int n, float f, bool b) {
    return t == n and n < t and t != f and b >= t and t <= null;
  }
  void Assign(string t, int n) {
    s = t;
    s = "constant";
    s = Name();
    s = (string) n;
    t = s + n + 1.5 + true;
    s[0] = 65;
    s[1, 2] = t;
    s.copy(t);
  }
};
class Initialised {
  string first = "a";
  string second = first;
  string Name() { return first; }
  void Locals(string t) {
    string a = t, b = Name(), c = "constant";
  }
};
// code Strings::Name: PUSHS "name"; RETO
// code Strings::Compare: LOADO 1; LOAD 2; ITOS; SCMP; EQZ; JZK 24; POP; LOAD 2; ITOS; LOADO 1; SCMP; LTZ; NEZ; JZK 40
// code Strings::Compare: POP; LOADO 1; LOAD 3; FTOS; SCMP; NEZ; NEZ; JZK 56; POP; LOAD 4; BTOS; LOADO 1; SCMP; GEZ
// code Strings::Compare: NEZ; JZK 69; POP; LOADO 1; PUSH0; SCMP; LEZ; NEZ; RETV
// code Strings::Assign: LOADO 1; SCOPY; POPMO 2; PUSHS "constant"; POPMO 2; LOADO 0; CALL 0 0; SCOPY; POPMO 2
// code Strings::Assign: LOAD 2; ITOS; SCOPY; POPMO 2; GETMO 2; LOAD 2; ITOS; SCAT; PUSHI 1069547520; FTOS
// code Strings::Assign: SCAT; PUSH1; BTOS; SCAT; POPLO 1; GETMO 2; PUSH0; PUSHI 65; SPOPC; GETMO 2; PUSHI 2
// code Strings::Assign: PUSH1; LOADO 1; SCOPY; SPOPR; LOADO 1; SCOPY; POPMO 2; RET
// code ::Initialised: PUSHS "a"; POPMO 2; GETMO 2; SCOPY; POPMO 3; RET
// code Initialised::Locals: LOADO 1; SCOPY; POPLO 2; LOADO 0; CALL 0 0; SCOPY; POPLO 3; PUSHS "constant"; POPLO 4
// code Initialised::Locals: RET
// errors: 0
