//
// asset.gs: an installed asset as scripts see it.
//

include "kuid.gs"
include "Soup.gs"
include "StringTable.gs"
include "KUIDList.gs"
include "Image.gs"

class Asset isclass GSObject
{
  public native KUID GetKUID(void);
  public native string GetLocalisedName(void);
  public native string GetLocalisedDescription(void);
  public native string GetCreatorName(void);
  public native KUID LookupKUIDTable(string a);
  public native Asset FindAsset(string a);
  public native StringTable GetStringTable(void);
  public native Soup GetConfigSoup(void);
  public native KUIDList GetDependencyList(void);
  public native bool SupportsKestroBuildVersion(float a);
  public native Image LoadImage(string a);
  public native bool IsLocallyModified(void);
  public native string GetInfoURL(void);
  public native bool GetIsFavorite(void);
  public native void SetIsFavorite(bool a);
  public native Asset GetParent(void);
  public native string GetCategoryEra(void);
  public native string GetCategoryRegion(void);
};
