// Expressions: arithmetic that meets a float converts the int side,
// unary operators by type, and/or keeping the first value when it decides,
// indexing and ranges of strings and arrays, size, isclass, new, a static
// class named as a value, and increments of fields and elements.
static class Tools {
  public int uses;
};
class Expressions {
  int count;
  float Mix(int i, float f, string s, int[] a, object o, Expressions e) {
    float r = i * f + f / i - i % 3 + -f + -i + ~i;
    bool b = !f or !s and !i and i;
    i = s[1] + s.size() + a[0] + a.size() + (a[1, 2])[0] + s[, 2].size() + (s[1, ])[0];
    b = o.isclass(Expressions) and o == null and a != null;
    a = new int[i];
    string[] names = new string[2];
    s = new string();
    e = new Expressions();
    Tools.uses = Tools.uses + 1;
    i = e.count++ + ++e.count + a[0]-- + --a[1] + s[0]++;
    e.count--;
    a[2]++;
    return r;
  }
};
// code Expressions::Mix: LOAD 1; ITOF; LOAD 2; FMUL; LOAD 2; LOAD 1; ITOF; FDIV; FADD; LOAD 1; PUSHI 3; MOD; ITOF
// code Expressions::Mix: FSUB; LOAD 2; FNEG; FADD; LOAD 1; NEG; ITOF; FADD; LOAD 1; NOT; ITOF; FADD; POPL 7; LOAD 2
// code Expressions::Mix: FEQZ; JNZK 83; POP; LOADO 3; ISNULL; JZK 72; POP; LOAD 1; EQZ; NEZ; JZK 82; POP; LOAD 1; NEZ
// code Expressions::Mix: NEZ; POPL 8; LOADO 3; PUSH1; SGETC; LOADO 3; SSIZE; ADD; LOADO 4; PUSH0; AGET; ADD; LOADO 4
// code Expressions::Mix: ASIZE; ADD; LOADO 4; PUSHI 2; PUSH1; RGETO; PUSH0; AGET; ADD; LOADO 3; PUSHI 2; PUSHI -1
// code Expressions::Mix: SGETR; SSIZE; ADD; LOADO 3; PUSHI -1; PUSH1; SGETR; PUSH0; SGETC; ADD; POPL 1; LOADO 5
// code Expressions::Mix: ISCLASS Expressions; JZK 171; POP; LOADO 5; PUSH0; OCMP; EQZ; NEZ; JZK 184; POP; LOADO 4
// code Expressions::Mix: PUSH0; OCMP; NEZ; NEZ; POPL 8; LOAD 1; NEWARR; POPLO 4; PUSHI 2; NEWARRO; POPLO 9; NEWSTR
// code Expressions::Mix: POPLO 3; NEWOBJ Expressions; POPLO 6; STATIC Tools; STATIC Tools; GETF 2; PUSH1; ADD; POPF 2
// code Expressions::Mix: LOADO 6; DUPO; GETF 2; STOREL 10; INC; POPF 2; LOAD 10; LOADO 6; DUPO; GETF 2; INC; SETF 2
// code Expressions::Mix: ADD; LOADO 4; PUSH0; DUP2; AGET; STOREL 10; DEC; APOP; LOAD 10; ADD; LOADO 4; PUSH1; DUP2
// code Expressions::Mix: AGET; DEC; ASET; ADD; LOADO 3; PUSH0; DUP2; SGETC; STOREL 10; INC; SPOPC; LOAD 10; ADD
// code Expressions::Mix: POPL 1; LOADO 6; DUPO; GETF 2; DEC; POPF 2; LOADO 4; PUSHI 2; DUP2; AGET; INC; APOP; LOAD 7
// code Expressions::Mix: RETV
// errors: 0
