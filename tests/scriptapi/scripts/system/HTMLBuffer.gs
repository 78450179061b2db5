//
// HTMLBuffer.gs: what the script API tests give their scripts of the class
// HTMLBuffer.
//
include "gs.gs"

class HTMLBuffer isclass GSObject
{
  public native void Clear(void);
  public native bool IsEmpty(void);
  public native string AsString(void);
  public native void Print(string text);
  public native void Escape(string text);
};
