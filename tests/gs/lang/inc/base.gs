// Included by the tests beside this folder.
include "inc/shared.gs"

class Base {
  public int Value() { return 1; }
};
