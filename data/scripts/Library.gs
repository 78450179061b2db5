//
// Library.gs: a library asset's script object, a shared service for other scripts.
//

include "KestroGameObject.gs"
include "OnlineAccess.gs"
include "SecurityToken.gs"

// A menu of the system-menu icon.
class Menu isclass GSObject
{
};

class Library isclass PropertyObject
{
  public native OnlineAccess GetOnlineAccess(void);
  public native string LibraryCallNative(string a, string[] b, GSObject[] c);
  public native SecurityToken IssueSecurityToken(KUID a, string[] b);
  public native SecurityToken IssueSecurityToken(SecurityToken a, KUID b, string[] c);
  public native SecurityToken MergeSecurityTokens(SecurityToken[] a);
  public native bool Validate(SecurityToken a, Library b, string c);
  public native bool Validate(SecurityToken a, KUID b, string c);
  public native void AddSystemMenuIcon(Asset a, string b, string c);
  public native void BlinkSystemMenuIcon(int a);
  public native void RemoveSystemMenuIcon(void);
  public native void ShowSystemMenuIconMenu(Menu a);
};
