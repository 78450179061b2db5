// Sleeping: a thread that sleeps goes on once the runner's steps (0.1 s
// each) have used its time up, so threads of different sleeps take turns
// by time; within one step, threads run in the order they were started.
// On the machine's static thread (Main) a sleep does nothing.
include "gs.gs"
include "test.gs"

class Test isclass GameObject {
  thread void Sleeper(string name, float seconds, int times) {
    int i;
    for (i = 0; i < times; i++) {
      Sleep(seconds);
      Out.Print(name + " " + i);
    }
  }

  void Main(void) {
    Sleep(5.0);
    Out.Print("main did not sleep");
    Sleeper("slow", 0.35, 2);
    Sleeper("fast", 0.15, 3);
  }
};
// expect: main did not sleep
// expect: fast 0
// expect: slow 0
// expect: fast 1
// expect: fast 2
// expect: slow 1
