//
// Soup.gs: a config container as scripts see it: named tags, nested soups.
//

include "kuid.gs"

// A locked soup wraps data the tool owns: its changing methods raise an
// exception.
class Soup isclass GSObject
{
  public native int CountTags(void);
  public native string GetNamedTag(string a);
  public native Soup GetNamedSoup(string a);
  public native string GetIndexedTagName(int a);
  public native int GetIndexForNamedTag(string a);
  public native KUID GetNamedTagAsKUID(string a);
  public native int GetNamedTagAsInt(string a);
  public native int GetNamedTagAsInt(string a, int b);
  public native float GetNamedTagAsFloat(string a);
  public native float GetNamedTagAsFloat(string a, float b);
  public native void SetNamedTag(string a, string b);
  public native void SetNamedTag(string a, float b);
  public native void SetNamedTag(string a, int b);
  public native void SetNamedTag(string a, KUID b);
  public native void SetNamedSoup(string a, Soup b);
  public native void RemoveNamedTag(string a);
  public native void Copy(Soup a);
  public native void Clear(void);
  public native bool IsLocked(void);
};
