// Soup: names stored lower-case, the getters' defaults, every lock text,
// shared and copied sub-soups, the refusal of a soup below itself, and a
// copy of a soup too deep to copy, which leaves its target as it was.
include "Kestro.gs"

class Test isclass KestroScriptBase {
  Soup locked;
  Soup deep;
  Soup kept;

  thread void Run(int which) {
    Soup s = Constructors.NewSoup();
    KUID none = null;
    string nothing = null;
    if (which == 1) locked.SetNamedTag("a", "x");
    if (which == 2) locked.SetNamedTag("a", 1.5);
    if (which == 3) locked.SetNamedTag("a", 1);
    if (which == 4) locked.SetNamedTag("a", none);
    if (which == 5) locked.SetNamedSoup("a", s);
    if (which == 6) locked.RemoveNamedTag("a");
    if (which == 7) locked.Copy(s);
    if (which == 8) locked.Clear();
    if (which == 9) s.SetNamedSoup("a", locked);
    if (which == 10) s.SetNamedTag("", 1);
    if (which == 11) s.SetNamedTag(nothing, 1);
    if (which == 12) s.Copy(null);
    if (which == 13) s.SetNamedSoup("me", s);
    if (which == 14) {
      Soup t = Constructors.NewSoup();
      s.SetNamedSoup("t", t);
      t.SetNamedSoup("back", s);
    }
    if (which == 15) kept.Copy(deep);
    if (which == 16) Log("kept " + kept.CountTags() + " " + kept.GetNamedTagAsInt("k"));
    Log("case " + which + " went on");
  }

  void Main(void) {
    Soup s = Constructors.NewSoup();
    Log("new: " + s.CountTags() + " " + s.IsLocked());
    s.SetNamedTag("A", 5);
    Log("count " + s.CountTags() + " name " + s.GetIndexedTagName(0) + " a " + s.GetNamedTagAsInt("a") + " A " + s.GetNamedTagAsInt("A"));
    Log("absent: [" + s.GetNamedTag("x") + "] " + s.GetIndexForNamedTag("x") + " [" + s.GetIndexedTagName(-1) + "] [" + s.GetIndexedTagName(1) + "]");
    Log("defaults: " + s.GetNamedTagAsInt("x") + " " + s.GetNamedTagAsInt("x", 7) + " " + s.GetNamedTagAsFloat("x") + " " + s.GetNamedTagAsFloat("x", 2.5));
    s.SetNamedTag("a", 6);
    s.SetNamedTag("f", 1.5);
    s.SetNamedTag("t", "");
    Log("replace: " + s.CountTags() + " " + s.GetNamedTagAsInt("a") + " " + s.GetNamedTagAsFloat("F") + " [" + s.GetNamedTag("t") + "] " + s.GetIndexForNamedTag("T"));
    Log("kuid absent: " + (s.GetNamedTagAsKUID("k") == null));
    KUID none = null;
    s.SetNamedTag("k", none);
    Log("kuid null: " + (s.GetNamedTagAsKUID("k") == null));
    s.RemoveNamedTag("k");
    s.RemoveNamedTag("nothing");
    Log("removed: " + s.CountTags());

    locked = s.GetNamedSoup("absent");
    Log("absent sub-soup: " + locked.CountTags() + " " + locked.IsLocked());

    Soup child = Constructors.NewSoup();
    s.SetNamedSoup("child", child);
    child.SetNamedTag("later", 3);
    Soup view = s.GetNamedSoup("child");
    Log("shared: " + view.GetNamedTagAsInt("later"));
    Soup dup = Constructors.NewSoup();
    dup.Copy(s);
    child.SetNamedTag("later", 4);
    s.SetNamedTag("a", 9);
    view = dup.GetNamedSoup("child");
    Log("copied: " + view.GetNamedTagAsInt("later") + " " + dup.GetNamedTagAsInt("a") + " " + dup.IsLocked());
    dup.Clear();
    Log("cleared: " + dup.CountTags());

    int i;
    deep = Constructors.NewSoup();
    Soup at = deep;
    for (i = 0; i <= 1000; i++) {
      Soup next = Constructors.NewSoup();
      at.SetNamedSoup("c", next);
      at = next;
    }
    kept = Constructors.NewSoup();
    kept.SetNamedTag("k", 8);

    for (i = 1; i <= 16; i++) Run(i);
  }
};

// expect log: new: 0 false
// expect log: count 1 name a a 5 A 5
// expect log: absent: [] -1 [] []
// expect log: defaults: 0 7 0.000000 2.500000
// expect log: replace: 3 6 1.500000 [] 2
// expect log: kuid absent: true
// expect log: kuid null: true
// expect log: removed: 3
// expect log: absent sub-soup: 0 true
// expect log: shared: 3
// expect log: copied: 3 6 false
// expect log: cleared: 0
// expect log: Soup.SetNamedTag> parent soup is locked (file Soup.gs)
// expect log: Soup.SetNamedTag> parent soup is locked (file Soup.gs)
// expect log: Soup.SetNamedTag> parent soup is locked (file Soup.gs)
// expect log: Soup.SetNamedKUID> parent soup is locked (file Soup.gs)
// expect log: Soup.SetNamedTag> parent soup is locked (file Soup.gs)
// expect log: Soup.RemoveNamedTag> parent soup is locked (file Soup.gs)
// expect log: Soup.Copy> parent soup is locked (file Soup.gs)
// expect log: Soup.Clear> parent soup is locked (file Soup.gs)
// expect log: Soup.SetNamedTag> sub-soup parameter is locked (file Soup.gs)
// expect log: empty string at parameter 1 (file Soup.gs)
// expect log: null string at parameter 1 (file Soup.gs)
// expect log: null object at parameter 1 (file Soup.gs)
// expect log: Soup.SetNamedTag> sub-soup parameter contains this soup (file Soup.gs)
// expect log: Soup.SetNamedTag> sub-soup parameter contains this soup (file Soup.gs)
// expect log: Soup.Copy> soup parameter is nested too deep (file Soup.gs)
// expect log: kept 1 8
// expect log: case 16 went on
