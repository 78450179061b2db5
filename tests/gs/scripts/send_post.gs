// Sending and posting: a send is delivered at once, and only a thread that
// is already waiting for it gets it (the woken thread goes on at its
// object's turn in the step); a post waits for the runner's next step, or
// for its delay (in due order, whatever the order of posting); a message
// to no object goes to every object that listens for its major. Sends are
// for threads: Main, on the machine's static thread, only posts.
include "gs.gs"
include "test.gs"

class Listener isclass GameObject {
  public string name;

  public thread void Listen(int count) {
    Message m;
    int got = 0;
    while (got < count) {
      wait () {
        on "Note", "", m: {
          got++;
          Out.Print(name + " got " + m.minor + " from " + m.source.GetGSClassName());
        }
      }
    }
    Out.Print(name + " is done");
  }
};

class Test isclass GameObject {
  Listener a, b;

  Listener Make(string name) {
    Listener l = new Listener();
    l.name = name;
    return l;
  }

  thread void Talk(void) {
    SendMessage(a, "Note", "too early");
    Sleep(0.2);
    SendMessage(a, "Note", "now");
    PostMessage(b, "Note", "after half a second", 0.5);
    PostMessage(b, "Note", "after a fifth", 0.2);
    PostMessage(a, "Note", "at the next step", 0.0);
    Out.Print("posted");
    Sleep(1.0);
    PostMessage(null, "Note", "to everyone listening", 0.0);
  }

  void Main(void) {
    a = Make("a");
    b = Make("b");
    a.Listen(3);
    b.Listen(3);
    Talk();
    PostMessage(a, "Other", "nobody waits for this", 0.0);
  }
};
// expect: posted
// expect: a got now from Test
// expect: a got at the next step from Test
// expect: b got after a fifth from Test
// expect: b got after half a second from Test
// expect: a got to everyone listening from Test
// expect: a is done
// expect: b got to everyone listening from Test
// expect: b is done
