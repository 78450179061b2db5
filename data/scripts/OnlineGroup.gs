//
// OnlineGroup.gs: a group of users of the online service.
//

include "Soup.gs"

class OnlineGroup isclass GameObject
{
  public native void Connect(void);
  public native int GetStatus(void);
  public native void Disconnect(void);
  public native string GetOnlineGroupCookie(void);
  public native void AddUser(string a);
  public native void RemoveUser(string a);
  public native int CountUsers(void);
  public native string GetIndexedUser(int a);
  public native int FindUser(string a);
  public native int GetUserStatus(int a);
  public native int PostMessage(Soup a);
  public native int CollectMessage(string a, Soup b);
};
