// The context natives: the clock, searches (KUIDs in the daemon's order,
// the same object for the same value), the system call's empty locked
// soup, OpenURL's false, Log, and their strict parameters.
include "Kestro.gs"

class Test isclass KestroScriptBase {
  thread void Bad(int which) {
    Soup s = Constructors.NewSoup();
    string nothing = null;
    if (which == 1) SearchAssets("", false);
    if (which == 2) KestroSystemCall("name", null);
    if (which == 3) KestroSystemCall(nothing, s);
    if (which == 4) OpenURL("");
    Log("case " + which + " went on");
  }

  void Main(void) {
    float t = GetSeconds();
    Log("clock: " + (t >= 0.0));
    KUID[] found = SearchAssets("abc;d", false);
    KUID[] again = SearchAssets("Abc;D", true);
    Log("search: " + found.size() + " " + found[0].GetHTMLString() + " " + found[129].GetHTMLString() + " same " + (found[5] == again[5]));
    Soup args = Constructors.NewSoup();
    args.SetNamedTag("x", 1);
    Soup result = KestroSystemCall("Call", args);
    Log("system call: " + result.CountTags() + " " + result.IsLocked());
    Log("open: " + OpenURL("http://example.invalid/"));
    string nothing = null;
    Log(nothing);
    Log("");
    int i;
    for (i = 1; i <= 4; i++) Bad(i);
  }
};

// expect log: clock: true
// expect log: search: 130 <kuid:1:0> <kuid2:1:0:1> same true
// expect log: system call: 0 true
// expect log: open: false
// expect log: 
// expect log: 
// expect log: empty string at parameter 1 (file Kestro.gs)
// expect log: null object at parameter 2 (file Kestro.gs)
// expect log: null string at parameter 1 (file Kestro.gs)
// expect log: empty string at parameter 1 (file Kestro.gs)
