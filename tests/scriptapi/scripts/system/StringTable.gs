//
// StringTable.gs: what the script API tests give their scripts of the
// class StringTable.
//
include "gs.gs"

class StringTable isclass GSObject
{
  public native string GetLanguage(void);
  public native void ClearParams(void);
  public native void SetParam(int index, string text);
  public native string GetString(string key);
};
