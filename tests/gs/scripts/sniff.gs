// Sniffing: an object sniffing another gets a copy of the other's messages
// of a major (and minor, empty for any) through its own handling, once: a
// message being forwarded is not forwarded again, even where two objects
// sniff each other. Sniffing stops when it is turned off.
include "gs.gs"
include "test.gs"

class Named isclass GameObject {
  public string name;

  void OnPing(Message m) {
    Out.Print(name + " saw " + m.minor + " sent to " + (cast<Named> m.destination).name);
  }
};

class Test isclass GameObject {
  Named watcher, target;

  Named Make(string name) {
    Named n = new Named();
    n.name = name;
    n.AddHandler(n, "Ping", "", "OnPing");
    return n;
  }

  thread void Later(void) {
    Sleep(0.1);
    watcher.Sniff(target, "Ping", "", false);
    PostMessage(target, "Ping", "after the sniffing stopped", 0.0);
  }

  void Main(void) {
    watcher = Make("watcher");
    target = Make("target");
    watcher.Sniff(target, "Ping", "", true);
    target.Sniff(watcher, "Ping", "", true);
    PostMessage(target, "Ping", "one", 0.0);
    PostMessage(watcher, "Ping", "two", 0.0);
    Later();
  }
};
// expect: target saw one sent to target
// expect: watcher saw one sent to target
// expect: watcher saw two sent to watcher
// expect: target saw two sent to watcher
// expect: target saw after the sniffing stopped sent to target
