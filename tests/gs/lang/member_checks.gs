class Item {
  int hidden;
  public int shown;
};
class A {
  void f(Item it, int i, string s) {
    i = i.x;
    i = s.x;
    i = it.hidden;
    i = it.shown;
    i = it.missing;
  }
};
// expect compile: member_checks.gs(7) : . operator cannot be used on a non-reference type, line 7.
// expect compile: member_checks.gs(7) : cannot cast from  to int, line 7.
// expect compile: member_checks.gs(8) : unknown object class for '.' operator, line 8.
// expect compile: member_checks.gs(8) : cannot cast from  to int, line 8.
// expect compile: member_checks.gs(9) : member hidden not public in object Item, line 9.
// expect compile: member_checks.gs(11) : member missing does not exist in object Item, line 11.
// expect compile: member_checks.gs(11) : cannot cast from  to int, line 11.
// errors: 7
