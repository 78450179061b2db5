//
// Kestro.gs: the script world of the script API tests, with this module's
// natives only.
//
include "gs.gs"
include "kuid.gs"
include "Soup.gs"
include "KUIDList.gs"
include "HTMLBuffer.gs"
include "StringTable.gs"

class KestroScriptBase isclass GameObject
{
  public native float GetSeconds(void);
  public native KUID[] SearchAssets(string category, bool localOnly);
  public native Soup KestroSystemCall(string name, Soup arguments);
  public native bool OpenURL(string url);
  public native void Log(string text);
};

class LinkedData
{
  public string text;
  public int number;
  public GSObject target;
};

static class LinkedList
{
  public native void SortInternal(LinkedData[] list);
  public native void AddInternal(LinkedData[] list, LinkedData item, bool unique);
};

class ConstructorsBase
{
  public native Soup NewSoup(void);
  public native KUIDList NewKUIDList(void);
};

static class Constructors isclass ConstructorsBase
{
};

static class HTMLBufferStatic
{
  public native HTMLBuffer Construct(void);
};
