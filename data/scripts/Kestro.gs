//
// Kestro.gs: what asset scripts build on: the script world, the kind bases and
// the helpers every script may use.
//

include "Library.gs"
include "Constructors.gs"
include "HTMLBuffer.gs"

// The script world of asset scripts: clock, library and asset lookup,
// searches, system calls and logging.
game class KestroScriptBase isclass GameObject
{
  public native float GetSeconds(void);
  public native Library GetLibrary(KUID a);
  public native Asset FindAsset(KUID a);
  public native Asset[] GetAssetList(string a);
  public native Asset[] GetAssetList(string a, string b);
  public native KUID[] SearchAssets(string a, bool b);
  public native Asset[] FindUpdatedAssets(void);
  public native Soup KestroSystemCall(string a, Soup b);
  public native bool OpenURL(string a);
  public native void Log(string a);
};

// An entry of a linked list; the natives read its first three fields in
// this order.
class LinkedData isclass GSObject
{
  public string text;
  public int number;
  public GSObject item;
};

// Keeps LinkedData arrays sorted by text and free of duplicates.
class LinkedList isclass GSObject
{
  public native void SortInternal(LinkedData[] a);
  public native void AddInternal(LinkedData[] a, LinkedData b, bool c);
};

// The bases the script classes of trackside objects, vehicles and signals
// derive from; the asset's kind is checked against them, and vehicles and
// signals count as trackside objects too.
class Trackside isclass KestroGameObject
{
};

class Vehicle isclass Trackside
{
};

class Signal isclass Trackside
{
};

static class Constructors isclass ConstructorsBase
{
};

static class HTMLBufferStatic
{
  public native HTMLBuffer Construct(void);
};
