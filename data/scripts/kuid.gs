//
// kuid.gs: an asset's identifier as scripts see it.
//

include "gs.gs"

// One KUID value; the tool hands out one object per value.
class KUID isclass GSObject
{
  public native string GetName(void);
  public native string GetHTMLString(void);
  public native string GetLogString(void);
  public native string GetBaseString(void);
};
