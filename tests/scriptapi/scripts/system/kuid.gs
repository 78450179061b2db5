//
// kuid.gs: what the script API tests give their scripts of the class KUID.
//
include "gs.gs"

class KUID isclass GSObject
{
  public native string GetName(void);
  public native string GetHTMLString(void);
  public native string GetLogString(void);
  public native string GetBaseString(void);
};
