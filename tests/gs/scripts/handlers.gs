// Handlers: a handler runs a method of the object that added it, with the
// Message, whenever the object it was added to gets a matching message
// (an empty minor matches any), in the order they were added. A handler
// makes its object listen for the major, so messages to no object reach
// it too. Handlers run on the machine's static thread: they may post, not
// send.
include "gs.gs"
include "test.gs"

class Counter isclass GameObject {
  public int count;

  void OnPing(Message m) {
    count++;
    Out.Print("handled " + m.major + "/" + m.minor + " for " + m.destination.GetGSClassName());
  }

  void OnAnything(Message m) {
    Out.Print("any minor: " + m.minor);
  }

  void OnLoud(Message m) {
    SendMessage(me, "Too", "loud");
  }
};

class Test isclass GameObject {
  Counter c;

  thread void Faulty(void) {
    AddHandler(null, "Ping", "", "OnPing");
    Out.Print("not reached");
  }

  thread void Report(void) {
    Sleep(0.5);
    Out.Print("count " + c.count);
  }

  void Main(void) {
    c = new Counter();
    c.AddHandler(c, "Ping", "exact", "OnPing");
    c.AddHandler(c, "Ping", "", "OnAnything");
    c.AddHandler(me, "Pong", "", "OnPing");
    c.AddHandler(c, "Loud", "", "OnLoud");
    PostMessage(c, "Ping", "exact", 0.0);
    PostMessage(c, "Ping", "other", 0.0);
    PostMessage(me, "Pong", "p", 0.0);
    PostMessage(null, "Ping", "all", 0.0);
    PostMessage(c, "Loud", "", 0.0);
    Faulty();
    Report();
  }
};
// expect: handled Ping/exact for Counter
// expect: any minor: exact
// expect: any minor: other
// expect: handled Pong/p for Test
// expect: any minor: all
// expect log: Static Thread cannot call SendMessage (file gs.gs)
// expect log: Thread Exception: ER_Exception, line 23, file handlers.gs
// expect log: Stack Dump...
// expect log: function $void@Counter::OnLoud(Message), line -1
// expect log: target object is null for GameObject::AddHandler() (file gs.gs)
// expect log: Thread Exception: ER_Exception, line 31, file handlers.gs
// expect log: Stack Dump...
// expect log: function $void@Test::Faulty(), line -1
// expect: count 2
