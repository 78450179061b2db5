// A base must be declared before the class that derives from it.
class A isclass Missing {
};
class B isclass C {};
class C {};
// expect compile: base_not_declared.gs(2) : Class Missing has not been declared, line 2.
// expect compile: base_not_declared.gs(4) : Class C has not been declared, line 4.
// errors: 2
