//
// SecurityToken.gs: the capability object that libraries issue to other scripts.
//

include "gs.gs"

class SecurityToken isclass GSObject
{
  public native bool IsOwnerLocallyModified(void);
};
