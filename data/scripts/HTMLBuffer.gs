//
// HTMLBuffer.gs: a buffer of HTML text that a script builds up.
//

include "gs.gs"

class HTMLBuffer isclass GSObject
{
  public native void Clear(void);
  public native bool IsEmpty(void);
  public native string AsString(void);
  public native void Print(string a);
  public native void Escape(string a);
};
