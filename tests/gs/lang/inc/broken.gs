// A class without its closing semicolon.
class Broken {
  int x;
}
