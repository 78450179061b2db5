//
// Image.gs: a bitmap that scripts draw into.
//

include "Soup.gs"

class Image isclass GSObject
{
  public native void Clear(int a, int b);
  public native void Resize(int a, int b, bool c);
  public native int GetWidth(void);
  public native int GetHeight(void);
  public native void SetLineColor(float a, float b, float c, float d);
  public native void SetFillColor(float a, float b, float c, float d);
  public native void DrawPoint(int a, int b);
  public native void DrawRect(int a, int b, int c, int d);
  public native void DrawLine(int a, int b, int c, int d);
  public native void DrawCircle(int a, int b, int c);
  public native void DrawTriangle(int a, int b, int c, int d, int e, int f);
  public native void DrawImage(int a, int b, Image c);
  public native void DrawImage(int a, int b, int c, int d, Image e);
  public native void DrawImage(int a, int b, int c, int d, Image e, int f, int g, int h, int i);
  public native void SetTextFont(string a, int b);
  public native int MeasureTextWidth(string a);
  public native void DrawText(int a, int b, string c);
  public native Soup ExportImage(void);
  public native void ImportImage(Soup a);
};
