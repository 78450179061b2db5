// The check stops at the first class fault.
native class A {};
class B { int f() { return "no"; } };
// expect compile: class_illegal_specifiers.gs(2) : Class has illegal declaration specifiers, line 2.
// errors: 1
