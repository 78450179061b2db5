// Threads: calling a thread function starts it on its object and goes on
// at once; a new thread first runs at its object's next update (the
// runner's next step), threads in the order they were started. An object
// runs at most 64 threads: starting one more ends the starting thread.
include "gs.gs"
include "test.gs"

class Worker isclass GameObject {
  public int done;

  public thread void Idle(int i) {
    Sleep(0.2);
    done++;
  }
};

class Test isclass GameObject {
  Worker w;

  thread void Say(string text) {
    Out.Print(text);
  }

  thread void Outer(void) {
    Out.Print("outer");
    Say("inner, a step later");
    Out.Print("outer ends");
  }

  thread void Spawn(void) {
    int i;
    for (i = 0; i < 65; i++) {
      w.Idle(i);
      if (i == 63) Out.Print("64 started");
    }
    Out.Print("not reached");
  }

  thread void Count(void) {
    Sleep(0.5);
    Out.Print("done " + w.done);
  }

  void Main(void) {
    w = new Worker();
    Say("first");
    Out.Print("main goes on");
    Say("second");
    Outer();
    Spawn();
    Count();
  }
};
// expect: main goes on
// expect: first
// expect: second
// expect: outer
// expect: outer ends
// expect: 64 started
// expect log: Thread Exception: ER_ThreadError, line 33, file threads.gs
// expect log: Stack Dump...
// expect log: function $void@Test::Spawn(), line -1
// expect: inner, a step later
// expect: done 64
