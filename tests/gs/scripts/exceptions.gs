// Exceptions and the jump budget: a failing thread logs the exception with
// its line and file and a dump of its frames, and ends; the other threads
// and the object go on. A warning through GameObject.Exception does not
// end the thread. A loop that never ends runs out of the budget; a long
// loop that ends does not.
include "gs.gs"
include "test.gs"

class Holder {
  public int value;
};

class Test isclass GameObject {
  int Divide(int by) {
    return 100 / by;
  }

  thread void DivideByZero(void) {
    Out.Print("dividing");
    int r = Divide(0);
    Out.Print("not reached " + r);
  }

  thread void NullObject(void) {
    Holder h;
    h.value = 1;
  }

  thread void PastTheEnd(void) {
    int[] a = new int[2];
    Out.Print("element " + a[2]);
  }

  thread void Warned(void) {
    Exception("only a warning");
    Out.Print("still running");
  }

  thread void Forever(void) {
    int n = 0;
    while (true) n++;
  }

  thread void LongButFinite(void) {
    int i, sum = 0;
    for (i = 0; i < 100000; i++) sum = sum + i;
    Out.Print("sum " + sum);
  }

  void Main(void) {
    DivideByZero();
    NullObject();
    PastTheEnd();
    Warned();
    Forever();
    LongButFinite();
  }
};
// expect: dividing
// expect log: Thread Exception: ER_DivideByZero, line 15, file exceptions.gs
// expect log: Stack Dump...
// expect log: function $int@Test::Divide(int), line -1
// expect log: function $void@Test::DivideByZero(), line 20
// expect log: Thread Exception: ER_NullReference, line 27, file exceptions.gs
// expect log: Stack Dump...
// expect log: function $void@Test::NullObject(), line -1
// expect log: Thread Exception: ER_ArrayOutOfBounds, line 31, file exceptions.gs
// expect log: Stack Dump...
// expect log: function $void@Test::PastTheEnd(), line -1
// expect log: only a warning (file gs.gs)
// expect: still running
// expect log: Thread Exception: ER_Timeout, line 41, file exceptions.gs
// expect log: Stack Dump...
// expect log: function $void@Test::Forever(), line -1
// expect: sum 704982704
