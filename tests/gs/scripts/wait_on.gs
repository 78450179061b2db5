// Waiting: a thread waits until a message matches one of its clauses (an
// empty minor matches any); the clause's code runs with the message, and
// continue waits again while break leaves the wait. Messages that match
// while the woken thread has not run yet are kept for its next wait (one
// message a run: a thread works through what it kept one step at a time);
// those that match nothing are dropped. An on outside a wait waits for its
// one message.
include "gs.gs"
include "test.gs"

class Test isclass GameObject {
  thread void Worker(void) {
    Message m;
    int ticks = 0;
    wait () {
      on "Timer", "Tick": { ticks++; continue; }
      on "Timer", "Stop": break;
      on "Say", "", m: {
        Out.Print("said " + m.minor + " to " + m.destination.GetGSClassName());
        continue;
      }
    }
    Out.Print("ticks " + ticks);
    on "Last", "One": Out.Print("one message alone");
    Out.Print("worker ends");
  }

  void Main(void) {
    // The worker starts waiting at the runner's first step; what is due
    // then comes before it waits, and is lost.
    Worker();
    PostMessage(me, "Timer", "Tick", 0.1);
    PostMessage(me, "Timer", "Tick", 0.2);
    PostMessage(me, "Say", "hello", 0.2);
    PostMessage(me, "Timer", "Tick", 0.2);
    PostMessage(me, "Timer", "Other", 0.3);
    PostMessage(me, "Say", "again", 0.4);
    PostMessage(me, "Timer", "Stop", 0.5);
    PostMessage(me, "Timer", "Tick", 0.5);
    PostMessage(me, "Last", "One", 1.0);
  }
};
// expect: said hello to Test
// expect: said again to Test
// expect: ticks 2
// expect: one message alone
// expect: worker ends
