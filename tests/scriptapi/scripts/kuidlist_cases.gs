// KUIDList: one entry per value, versions distinct, 129 entries across the
// block boundary, the same object twice, the index and lock texts, and
// copies.
include "Kestro.gs"

class Test isclass KestroScriptBase {
  KUIDList list;
  KUID first;

  thread void Bad(int which) {
    KUIDList other = Constructors.NewKUIDList();
    KUID none = null;
    if (which == 1) list.GetIndexedKUID(-1);
    if (which == 2) list.GetIndexedKUID(list.CountKUIDs());
    if (which == 3) list.AddKUID(none);
    if (which == 4) list.Copy(null);
    if (which == 5) list.HasKUID(none);
    Log("case " + which + " went on");
  }

  void Main(void) {
    KUID[] found = SearchAssets("x", false);
    list = Constructors.NewKUIDList();
    Log("new: " + list.CountKUIDs() + " " + list.IsLocked());
    list.AddKUID(found[0]);
    list.AddKUID(found[0]);
    Log("twice: " + list.CountKUIDs());
    list.AddKUID(found[129]);
    Log("versions: " + list.CountKUIDs() + " " + list.HasKUID(found[129]));
    list.RemoveKUID(found[129]);
    list.RemoveKUID(found[129]);
    Log("removed: " + list.CountKUIDs() + " " + list.HasKUID(found[129]));
    int i;
    for (i = 1; i <= 128; i++) list.AddKUID(found[i]);
    KUID a = list.GetIndexedKUID(127);
    KUID b = list.GetIndexedKUID(128);
    Log("blocks: " + list.CountKUIDs() + " " + a.GetHTMLString() + " " + b.GetHTMLString() + " same " + (list.GetIndexedKUID(5) == list.GetIndexedKUID(5)) + " " + (list.GetIndexedKUID(5) == found[5]));
    KUIDList dup = Constructors.NewKUIDList();
    dup.Copy(list);
    list.Clear();
    Log("copied: " + dup.CountKUIDs() + " " + list.CountKUIDs());
    list.Copy(dup);
    for (i = 1; i <= 5; i++) Bad(i);
  }
};

// expect log: new: 0 false
// expect log: twice: 1
// expect log: versions: 2 true
// expect log: removed: 1 false
// expect log: blocks: 129 <kuid:1:127> <kuid:1:128> same true true
// expect log: copied: 129 0
// expect log: KUIDList.GetIndexedKUID> index out of range (file KUIDList.gs)
// expect log: KUIDList.GetIndexedKUID> index out of range (file KUIDList.gs)
// expect log: null object at parameter 1 (file KUIDList.gs)
// expect log: null object at parameter 1 (file KUIDList.gs)
// expect log: null object at parameter 1 (file KUIDList.gs)
