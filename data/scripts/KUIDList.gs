//
// KUIDList.gs: an ordered list of KUIDs.
//

include "kuid.gs"

class KUIDList isclass GSObject
{
  public native int CountKUIDs(void);
  public native void AddKUID(KUID a);
  public native void RemoveKUID(KUID a);
  public native bool HasKUID(KUID a);
  public native KUID GetIndexedKUID(int a);
  public native void Copy(KUIDList a);
  public native void Clear(void);
  public native bool IsLocked(void);
};
