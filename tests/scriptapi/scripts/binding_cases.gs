// The parameter accessors through a probe class the binding test enters:
// each text with parameter numbers 1 and 2, allow-null and allow-empty,
// and a native's result inside an expression.
include "Kestro.gs"

static class Probe
{
  public native string Object(GSObject a, GSObject b, int n, bool allowNull);
  public native string Text(string a, string b, int n, bool allowEmpty);
  public native string Text1(string a);
};

class Test isclass KestroScriptBase {
  Soup soup;
  KUIDList list;

  thread void Bad(int which) {
    string nothing = null;
    if (which == 1) Probe.Object(null, soup, 1, false);
    if (which == 2) Probe.Object(soup, null, 2, false);
    if (which == 3) Probe.Object(list, soup, 1, true);
    if (which == 4) Probe.Object(soup, list, 2, false);
    if (which == 5) Probe.Text(nothing, "x", 1, false);
    if (which == 6) Probe.Text("x", "", 2, false);
    if (which == 7) Probe.Text1("");
    if (which == 8) Probe.Text1(nothing);
    Log("case " + which + " went on");
  }

  void Main(void) {
    soup = Constructors.NewSoup();
    list = Constructors.NewKUIDList();
    string nothing = null;
    Log(Probe.Object(soup, null, 2, true) + " " + Probe.Object(null, soup, 2, false) + " " + Probe.Object(null, null, 1, true));
    Log(Probe.Text("", nothing, 2, true) + " " + Probe.Text(nothing, "b", 1, true) + " " + Probe.Text("a", "", 1, false) + " " + Probe.Text1("c"));
    soup.SetNamedTag("a", 20);
    Log("expression: " + (soup.GetNamedTagAsInt("a") * 2 + soup.CountTags()));
    int i;
    for (i = 1; i <= 8; i++) Bad(i);
  }
};

// expect log: null soup null
// expect log: [] [] [a] [c]
// expect log: expression: 41
// expect log: null object at parameter 1 (file binding_cases.gs)
// expect log: depth kept
// expect log: null object at parameter 2 (file binding_cases.gs)
// expect log: depth kept
// expect log: incorrect parameter type at parameter 1 (file binding_cases.gs)
// expect log: depth kept
// expect log: incorrect parameter type at parameter 2 (file binding_cases.gs)
// expect log: depth kept
// expect log: null string at parameter 1 (file binding_cases.gs)
// expect log: empty string at parameter 2 (file binding_cases.gs)
// expect log: empty string at parameter 1 (file binding_cases.gs)
// expect log: null string at parameter 1 (file binding_cases.gs)
