// Image: colour packing, sizes, the size cap, resizing, copies of an image
// onto itself, shapes, and text whose ink is opaque white over an
// untouched background with the pen moving A + B + C a character.
include "Kestro.gs"
include "Probe.gs"

class Test isclass KestroScriptBase {
  Image img;

  // Pixels of the image equal to the colour.
  int CountColour(Image which, int colour) {
    int n = 0;
    int x;
    int y;
    for (y = 0; y < which.GetHeight(); y++)
      for (x = 0; x < which.GetWidth(); x++)
        if (Probe.Pixel(which, x, y) == colour) n++;
    return n;
  }

  string Row(Image which, int y) {
    string s = "";
    int x;
    for (x = 0; x < which.GetWidth(); x++) s = s + " " + Probe.Pixel(which, x, y);
    return s;
  }

  thread void Bad(int which) {
    Image none = null;
    string nothing = null;
    if (which == 1) img.DrawImage(0, 0, none);
    if (which == 2) img.SetTextFont("", 10);
    if (which == 3) img.DrawText(0, 0, nothing);
    if (which == 4) img.ImportImage(null);
    Log("case " + which + " went on");
  }

  void Main(void) {
    img = Constructors.NewImage();
    Log("new: " + img.GetWidth() + " " + img.GetHeight() + " " + Probe.LineColor(img) + " " + Probe.FillColor(img) + " " + Probe.Pixel(img, 0, 0));
    img.SetLineColor(-1.0, 2.0, 0.5, 1.0);
    img.SetFillColor(0.5, 0.5, 0.5, 0.5);
    Log("colours: " + Probe.LineColor(img) + " " + Probe.FillColor(img));
    img.Clear(0, 10);
    Log("clear 0 by 10: " + img.GetWidth() + " " + img.GetHeight());
    img.SetFillColor(1.0, 0.0, 0.0, 1.0);
    img.Clear(4, 3);
    Log("clear 4 by 3: " + img.GetWidth() + " " + img.GetHeight() + " red " + CountColour(img, -65536) + " outside " + Probe.Pixel(img, 4, 0) + " " + Probe.Pixel(img, -1, 0));
    img.Clear(8193, 1);
    Log("clear too wide: " + img.GetWidth() + " " + img.GetHeight());
    img.Clear(8192, 1);
    Log("clear widest: " + img.GetWidth());
    img.Resize(1, 8193, false);
    Log("resize too high: " + img.GetWidth() + " " + img.GetHeight());

    img.Clear(4, 4);
    img.Resize(4, 4, true);
    Log("resize same: " + CountColour(img, -65536));
    img.Resize(8, 8, false);
    Log("resize 8 by 8: " + img.GetWidth() + " red " + CountColour(img, -65536) + " corner " + Probe.Pixel(img, 3, 3) + " beyond " + Probe.Pixel(img, 4, 4));
    img.Resize(2, 2, true);
    Log("scaled down: " + img.GetWidth() + " " + Row(img, 0) + " /" + Row(img, 1));

    // A row of four: green then three red; copied one to the right onto
    // itself it reads as a separate copy would.
    img.Clear(4, 1);
    img.SetLineColor(0.0, 1.0, 0.0, 1.0);
    img.DrawPoint(0, 0);
    img.DrawImage(1, 0, 4, 1, img, 0, 0, 3, 1);
    Log("self copy:" + Row(img, 0));
    img.DrawImage(0, 0, 2, 1, img, 0, 0, 3, 1);
    img.DrawImage(1, 0, 2, 1, img);
    Log("self copy other size:" + Row(img, 0));

    // Shapes: a transparent fill leaves the inside alone, the outline is
    // the line colour.
    img.SetFillColor(0.0, 0.0, 0.0, 0.0);
    img.Clear(5, 5);
    img.SetLineColor(1.0, 1.0, 1.0, 1.0);
    img.DrawRect(0, 0, 5, 5);
    Log("rect outline: " + CountColour(img, -1) + " inside " + Probe.Pixel(img, 2, 2));
    img.SetFillColor(0.0, 0.0, 1.0, 1.0);
    img.DrawRect(1, 1, 4, 4);
    Log("rect filled: " + CountColour(img, -16776961) + " " + CountColour(img, -1));
    img.SetFillColor(0.0, 0.0, 0.0, 0.0);
    img.Clear(9, 9);
    img.SetFillColor(0.0, 0.0, 1.0, 1.0);
    img.DrawCircle(4, 4, 3);
    Log("circle: centre " + Probe.Pixel(img, 4, 4) + " edge " + Probe.Pixel(img, 4, 1) + " " + Probe.Pixel(img, 7, 4) + " corner " + Probe.Pixel(img, 0, 0));
    img.SetFillColor(0.0, 0.0, 0.0, 0.0);
    img.Clear(9, 9);
    img.SetFillColor(0.0, 0.0, 1.0, 1.0);
    img.DrawTriangle(0, 0, 8, 0, 0, 8);
    Log("triangle: " + Probe.Pixel(img, 1, 1) + " " + Probe.Pixel(img, 0, 0) + " " + Probe.Pixel(img, 8, 8));
    img.SetFillColor(0.0, 0.0, 0.0, 0.0);
    img.Clear(3, 3);
    img.DrawLine(-5, 1, 10, 1);
    Log("line across:" + Row(img, 1) + " /" + Row(img, 0));

    Soup exported = img.ExportImage();
    Log("export: " + exported.IsLocked() + " " + exported.CountTags());

    // Text: default font, white ink on transparent black.
    Log("font: " + (img.MeasureTextWidth("I") > 0) + " " + (img.MeasureTextWidth("I") == img.MeasureTextWidth("I  ")) + " " + img.MeasureTextWidth("\t"));
    img.SetTextFont("DejaVu SANS", 16);
    img.SetFillColor(0.0, 0.0, 0.0, 0.0);
    img.Clear(40, 20);
    img.DrawText(2, 1, "HI");
    int ink = CountColour(img, -1);
    int bare = CountColour(img, 0);
    Log("text: ink " + (ink > 0) + " rest untouched " + (ink + bare == 800));
    int step = img.MeasureTextWidth("II") - img.MeasureTextWidth("I");
    Image two = Constructors.NewImage();
    Image one = Constructors.NewImage();
    two.Clear(40, 20);
    one.Clear(40, 20);
    two.DrawText(0, 0, "II");
    one.DrawText(0, 0, "I");
    one.DrawText(step, 0, "I");
    int same = 0;
    int x;
    int y;
    for (y = 0; y < 20; y++)
      for (x = 0; x < 40; x++)
        if (Probe.Pixel(one, x, y) == Probe.Pixel(two, x, y)) same++;
    Log("pen: " + (step > 0) + " " + same);

    int i;
    for (i = 1; i <= 4; i++) Bad(i);
  }
};

// expect log: new: 0 0 -1 0 0
// expect log: colours: -16711808 -2139062144
// expect log: clear 0 by 10: 0 0
// expect log: clear 4 by 3: 4 3 red 12 outside 0 0
// expect log: clear too wide: 0 0
// expect log: clear widest: 8192
// expect log: resize too high: 0 0
// expect log: resize same: 16
// expect log: resize 8 by 8: 8 red 16 corner -65536 beyond 0
// expect log: scaled down: 2  -65536 0 / 0 0
// expect log: self copy: -16711936 -16711936 -65536 -65536
// expect log: self copy other size: -16711936 -16711936 -65536 -65536
// expect log: rect outline: 16 inside 0
// expect log: rect filled: 1 24
// expect log: circle: centre -16776961 edge -1 -1 corner 0
// expect log: triangle: -16776961 -1 0
// expect log: line across: -1 -1 -1 / 0 0 0
// expect log: export: true 0
// expect log: font: true true 0
// expect log: text: ink true rest untouched true
// expect log: pen: true 800
// expect log: null object at parameter 3 (file Image.gs)
// expect log: empty string at parameter 1 (file Image.gs)
// expect log: null string at parameter 3 (file Image.gs)
// expect log: null object at parameter 1 (file Image.gs)
