//
// OnlineAccess.gs: a script's access to the online service.
//

include "OnlineGroup.gs"

class OnlineAccess isclass GameObject
{
  public native void Connect(void);
  public native int GetStatus(void);
  public native void Disconnect(void);
  public native string GetUsername(void);
  public native int GetLocalData(string a, Soup b);
  public native int SetLocalData(string a, Soup b);
  public native int GetProfileData(string a, Soup b);
  public native int SetProfileData(string a, Soup b);
  public native int PostMessage(string a, Soup b);
  public native int CollectMessage(string a, Soup b);
  public native OnlineGroup CreateGroup(void);
  public native OnlineGroup OpenGroup(string a);
  public native int PostOfflineMessage(Soup a);
  public native int CollectOfflineMessage(Soup a);
};
