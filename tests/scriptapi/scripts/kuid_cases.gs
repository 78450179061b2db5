// KUID texts: the full form by version, the base form without it; a name
// the daemon does not give is empty.
include "Kestro.gs"

class Test isclass KestroScriptBase {
  void Main(void) {
    KUID[] found = SearchAssets("x", false);
    KUID a = found[3];
    KUID b = found[129];
    Log(a.GetHTMLString() + " " + a.GetLogString() + " " + a.GetBaseString());
    Log(b.GetHTMLString() + " " + b.GetLogString() + " " + b.GetBaseString());
    Log("name [" + a.GetName() + "]");
    Soup s = Constructors.NewSoup();
    s.SetNamedTag("k", b);
    Log("from a soup: " + (s.GetNamedTagAsKUID("K") == b) + " " + s.GetNamedTag("k"));
  }
};

// expect log: <kuid:1:3> <kuid:1:3> <kuid:1:3>
// expect log: <kuid2:1:0:1> <kuid2:1:0:1> <kuid:1:0>
// expect log: name []
// expect log: from a soup: true <kuid2:1:0:1>
