//
// gs.gs: the system library. Every script may use these classes; the
// script runtime binds their native functions and builds Message objects
// for the message router.
//

// The base of every script object.
class GSObject
{
  // The name of the object's class.
  public native string GetGSClassName(void);
};

// An object on a message router: it sends and receives messages, runs
// thread methods and may sleep.
class GameObject isclass GSObject
{
  public native void SendMessage(GameObject dest, string major, string minor);
  public native void PostMessage(GameObject dest, string major, string minor, float seconds);
  public native void ClearMessages(string major, string minor);
  public native void AddHandler(GameObject target, string major, string minor, string handler);
  public native void Sniff(GameObject target, string major, string minor, bool state);
  public native void Sleep(float seconds);
  public native int GetId(void);
  public native string GetName(void);
  public native void Exception(string reason);
};

// The router of the script world, by its game objects' ids and names.
static class Router
{
  public native GameObject GetGameObject(int id);
  public native GameObject GetForeignGameObject(int id);
  public native GameObject GetGameObject(string name);
  public native void Info(void);
  public native void PostMessage(int source, int dest, string major, string minor, float seconds);
};

// A message as a handler or a waiting thread receives it.
class Message
{
  public string major;
  public string minor;
  public GameObject source;
  public GameObject destination;
};
