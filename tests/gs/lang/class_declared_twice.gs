class A {};
class B {};
class A { int f() { return "unchecked"; } };
class C { int g() { return "unchecked"; } };
// expect compile: class_declared_twice.gs(3) : Class A has already been declared, line 3.
// errors: 1
