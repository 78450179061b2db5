// Each file is compiled once, however often it is included.
include "inc/base.gs"
include "inc/shared.gs"
include "INC/Base.gs"

class Derived isclass Base, Shared {
  public int Value() { return 2; }
};
// errors: 0
