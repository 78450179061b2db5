static class Tools {};
class A isclass Tools {};
// expect compile: base_static.gs(2) : Cannot extend static class Tools, line 2.
// errors: 1
