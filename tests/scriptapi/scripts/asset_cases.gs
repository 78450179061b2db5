// Asset against the stand-in: one object per asset in a context, the
// record's texts, the kuid-table (and its exception text), builds to two
// decimals, favourite states, the config soup shared, the string table,
// images from the asset's folder and names that would leave it.
include "Kestro.gs"
include "Probe.gs"

class Test isclass KestroScriptBase {
  Asset main;

  Asset Named(Asset[] list, string name) {
    int i;
    for (i = 0; i < list.size(); i++)
      if (list[i].GetLocalisedName() == name) return list[i];
    return null;
  }

  thread void Bad(int which) {
    if (which == 1) main.LookupKUIDTable("zz");
    if (which == 2) main.FindAsset("");
    if (which == 3) main.LoadImage(null);
    Log("case " + which + " went on");
  }

  void Main(void) {
    Asset[] all = GetAssetList("Scenery");
    Log("scenery: " + all.size());
    main = Named(all, "Main");
    Asset other = Named(all, "Other");
    Asset plain = Named(all, "Plain");
    Log("same object: " + (FindAsset(main.GetKUID()) == main) + " " + (GetAssetList("scenery")[0] == all[0]));
    Log("texts: " + main.GetCreatorName() + "|" + main.GetCategoryEra() + "|" + main.GetCategoryRegion() + "|" + main.GetLocalisedDescription());
    Log("table: " + (main.FindAsset("A") == other) + " " + (main.LookupKUIDTable("b") == plain.GetKUID()));
    Log("parent: " + (other.GetParent() == main) + " " + (main.GetParent() == null));
    Log("builds: " + main.SupportsKestroBuildVersion(3.5) + " " + main.SupportsKestroBuildVersion(3.51) + " " + other.SupportsKestroBuildVersion(3.5) + " " + other.SupportsKestroBuildVersion(3.49) + " " + plain.SupportsKestroBuildVersion(0.0));
    Log("favourite: " + main.GetIsFavorite());
    main.SetIsFavorite(true);
    Log("favourite set: " + main.GetIsFavorite() + " " + other.GetIsFavorite());
    main.SetIsFavorite(false);
    Log("favourite cleared: " + main.GetIsFavorite());
    Soup one = main.GetConfigSoup();
    Soup two = main.GetConfigSoup();
    Log("config: " + (one == two) + " " + one.IsLocked() + " " + one.GetNamedTag("username") + " " + two.GetNamedTag("username"));
    Log("info url: " + main.GetInfoURL() + "|" + other.GetInfoURL());
    StringTable strings = main.GetStringTable();
    Log("strings: " + strings.GetString("greeting"));
    KUIDList needs = main.GetDependencyList();
    Log("dependencies: " + needs.CountKUIDs() + " " + needs.IsLocked());
    Log("modified: " + main.IsLocallyModified());
    Image png = main.LoadImage("Pic.png");
    Image tga = main.LoadImage("sub\\pic.tga");
    Log("images: " + png.GetWidth() + "x" + png.GetHeight() + " " + Probe.Pixel(png, 1, 0) + " " + tga.GetWidth() + " " + Probe.Pixel(tga, 0, 1));
    Log("missing: " + (main.LoadImage("none.png") == null));
    Log("refused: " + (main.LoadImage("../other/pic.png") == null) + " " + (main.LoadImage("/etc/pic.png") == null) + " " + (main.LoadImage("sub\\..\\..\\other\\pic.png") == null) + " " + (main.LoadImage("\\pic.png") == null) + " " + (main.LoadImage("ext\\pic.png") == null) + " " + (main.LoadImage("away.png") == null));
    Log("kinds: " + GetAssetList("no-such-kind").size() + " " + GetAssetList("scenery", "zz").size());
    Asset[] updated = FindUpdatedAssets();
    Log("updated: " + updated.size());
    int i;
    for (i = 1; i <= 3; i++) Bad(i);
  }
};

// expect log: scenery: 3
// expect log: same object: true true
// expect log: texts: Test author|1920s|Moorland|Made for tests.
// expect log: table: true true
// expect log: parent: true true
// expect log: builds: true false false true false
// expect log: favourite: false
// expect log: favourite set: true false
// expect log: favourite cleared: false
// expect log: config: false true Main Main
// expect log: info url: http://example.invalid/main|
// expect log: strings: Hello
// expect log: dependencies: 2 true
// expect log: modified: false
// expect log: images: 2x1 -16711936 1 -65536
// expect log: missing: true
// expect log: refused: true true true true true true
// expect log: World.GetAssetList> warning: found zero assets of type 'no-such-kind'
// expect log: World.GetAssetList> warning: found zero assets of type 'scenery'
// expect log: kinds: 0 0
// expect log: updated: 0
// expect log: Asset.FindKUID> unable to find 'zz' in kuid-table
// expect log: Available kuids are: "a" "b"  (file asset.gs)
// expect log: empty string at parameter 1 (file asset.gs)
// expect log: null string at parameter 1 (file asset.gs)
