//
// Probe.gs: what the test programs read back from native objects. Only the
// script API's test programs bind these natives; the tool does not.
//

include "Image.gs"

static class Probe
{
  // The packed colour 0xAARRGGBB of a pixel; 0 outside the image or for an
  // image without pixels.
  public native int Pixel(Image a, int b, int c);
  public native int LineColor(Image a);
  public native int FillColor(Image a);
};
