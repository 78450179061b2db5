// The same class reached through two bases.
class Base { int b; };
class Left isclass Base {};
class Right isclass Base {};
class Both isclass Left, Right {};
class Twice isclass Left, Left {};
// expect compile: cyclic_twice.gs(5) : Class Right and Base causes cyclic derivation, line 5.
// expect compile: cyclic_twice.gs(6) : Class Left and Left causes cyclic derivation, line 6.
// errors: 2
