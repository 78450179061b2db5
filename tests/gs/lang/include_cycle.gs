// Two included classes deriving from each other are reported, under the
// included file's name, when one of them is used.
include "inc/cycle.gs"

class A isclass Ping {
  void f(Pong p) { p.v = 1; }
};
// expect compile: cycle.gs(3) : Class Ping and Ping causes cyclic derivation, line 3.
// errors: 1
