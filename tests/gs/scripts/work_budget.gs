// The work budget: appending to a string that only one local holds writes
// the new bytes in place, and a run pays for those bytes, not for the
// whole text each time; so a thread that builds a long text, pausing now
// and then, runs to its end (its last runs append 10,000 times to a text
// of about 2 MB: as copies, that would be several budgets' work).
include "gs.gs"
include "test.gs"

class Test isclass GameObject {
  thread void Build(void) {
    string s = "";
    int i;
    for (i = 1; i <= 1000000; i++) {
      s = s + "ab";
      if (i % 10000 == 0) Sleep(0.001);
    }
    Out.Print("built " + s.size());
  }

  void Main(void) {
    Build();
  }
};
// expect: built 2000000
