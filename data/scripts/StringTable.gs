//
// StringTable.gs: an asset's localised texts with their parameters.
//

include "gs.gs"

class StringTable isclass GSObject
{
  public native string GetLanguage(void);
  public native void ClearParams(void);
  public native void SetParam(int a, string b);
  public native string GetString(string a);
};
