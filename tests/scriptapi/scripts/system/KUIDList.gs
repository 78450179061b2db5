//
// KUIDList.gs: what the script API tests give their scripts of the class
// KUIDList.
//
include "gs.gs"
include "kuid.gs"

class KUIDList isclass GSObject
{
  public native int CountKUIDs(void);
  public native void AddKUID(KUID kuid);
  public native void RemoveKUID(KUID kuid);
  public native bool HasKUID(KUID kuid);
  public native KUID GetIndexedKUID(int index);
  public native void Copy(KUIDList source);
  public native void Clear(void);
  public native bool IsLocked(void);
};
