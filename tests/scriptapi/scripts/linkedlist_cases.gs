// LinkedList and the constructors: sorting by text with a null text and a
// null element first, equal texts keeping their order, unique and plain
// adds, and new soups that are new each time.
include "Kestro.gs"

class Test isclass KestroScriptBase {
  LinkedData Item(string text, int number, GSObject target) {
    LinkedData d = new LinkedData();
    d.text = text;
    d.number = number;
    d.item = target;
    return d;
  }

  string Texts(LinkedData[] list) {
    string s = "";
    int i;
    for (i = 0; i < list.size(); i++) {
      if (!list[i]) s = s + "(none)";
      else if (!list[i].text) s = s + "(null)";
      else s = s + list[i].text;
      s = s + " ";
    }
    return s;
  }

  void Main(void) {
    LinkedList lists = new LinkedList();
    LinkedData[] list = new LinkedData[0];
    lists.SortInternal(list);
    Log("empty: " + list.size());
    list[0] = Item("b", 1, null);
    list[1] = Item(null, 2, null);
    list[2] = Item("a", 3, null);
    lists.SortInternal(list);
    Log("sorted: " + Texts(list));
    LinkedData[] equal = new LinkedData[0];
    equal[0] = Item("x", 1, null);
    equal[1] = Item("x", 2, null);
    lists.SortInternal(equal);
    Log("equal texts: " + equal[0].number + " " + equal[1].number);
    LinkedData[] holes = new LinkedData[3];
    holes[0] = Item("b", 0, null);
    holes[2] = Item("a", 0, null);
    lists.SortInternal(holes);
    Log("null element: " + Texts(holes));

    Soup s1 = Constructors.NewSoup();
    Soup s2 = Constructors.NewSoup();
    LinkedData[] added = new LinkedData[0];
    LinkedData one = Item("t", 5, s1);
    lists.AddInternal(added, one, true);
    lists.AddInternal(added, Item("t", 5, s1), true);
    lists.AddInternal(added, Item("t", 5, s2), true);
    lists.AddInternal(added, null, false);
    Log("unique: " + added.size());
    lists.AddInternal(added, one, false);
    lists.AddInternal(added, one, false);
    Log("plain: " + added.size() + " " + (added[2] == added[3]));

    Log("new soups: " + (s1 != s2) + " " + s1.CountTags() + " " + s1.IsLocked());
    KUIDList l = Constructors.NewKUIDList();
    Log("new list: " + l.CountKUIDs() + " " + l.IsLocked());
  }
};

// expect log: empty: 0
// expect log: sorted: (null) a b 
// expect log: equal texts: 1 2
// expect log: null element: (none) a b 
// expect log: unique: 2
// expect log: plain: 4 true
// expect log: new soups: true 0 false
// expect log: new list: 0 false
