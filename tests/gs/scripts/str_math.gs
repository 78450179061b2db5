// Str and Math: the runtime's text helpers (those that change a string do
// it in place) and its random numbers and square root. Scripts declare
// the two static classes with the natives they use.
include "gs.gs"
include "test.gs"

static class Str {
  public native void TrimLeft(string s, string set);
  public native void TrimRight(string s, string set);
  public native int ToInt(string s);
  public native float ToFloat(string s);
  public native void ToUpper(string s);
  public native void ToLower(string s);
  public native string[] Tokens(string s, string separators);
  public native int UnpackInt(string s);
  public native float UnpackFloat(string s);
  public native string UnpackString(string s);
  public native int Find(string s, string sought, int start);
};

static class Math {
  public native float Rand(float low, float high);
  public native int Rand(int low, int high);
  public native float Sqrt(float x);
};

class Test {
  void Main(void) {
    string s = "\t  padded text \r\n";
    Str.TrimLeft(s, "");
    Str.TrimRight(s, null);
    Out.Print("trimmed: '" + s + "'");
    string dots = "..x..";
    Str.TrimLeft(dots, ".");
    Out.Print("own set: '" + dots + "'");

    Out.Print("numbers: " + Str.ToInt("  -42 apples") + " " + Str.ToInt("none") + " " + Str.ToFloat("2.5kg"));
    string loud = "Mixed Case";
    Str.ToUpper(loud);
    string quiet = "Mixed Case";
    Str.ToLower(quiet);
    Out.Print("case: " + loud + " " + quiet);

    string[] words = Str.Tokens("  one,two,, three ", " ,");
    string joined = "";
    int i;
    for (i = 0; i < words.size(); i++) joined = joined + "[" + words[i] + "]";
    Out.Print("tokens: " + words.size() + " " + joined + " " + Str.Tokens(null, null).size());

    string packed = "  12 3.5 name rest";
    int n = Str.UnpackInt(packed);
    float f = Str.UnpackFloat(packed);
    string w = Str.UnpackString(packed);
    Out.Print("unpacked: " + n + " " + f + " " + w + " leaving '" + packed + "'");

    string hay = "needle in a haystack, needle";
    Out.Print("find: " + Str.Find(hay, "needle", 0) + " " + Str.Find(hay, "needle", 1) + " " +
              Str.Find(hay, "pin", 0) + " " + Str.Find(hay, "needle", -1) + " " + Str.Find(hay, "", 28));

    Out.Print("sqrt: " + Math.Sqrt(16.0) + " " + Math.Sqrt(2.0));
    bool inRange = true;
    for (i = 0; i < 100; i++) {
      float r = Math.Rand(0.0, 1.0);
      int k = Math.Rand(1, 3);
      if (r < 0.0 or r >= 1.0 or k < 1 or k > 2) inRange = false;
    }
    Out.Print("random in range: " + inRange + ", an empty range: " + Math.Rand(5, 5));
  }
};
// expect: trimmed: 'padded text'
// expect: own set: 'x..'
// expect: numbers: -42 0 2.500000
// expect: case: MIXED CASE mixed case
// expect: tokens: 3 [one][two][three] 0
// expect: unpacked: 12 3.500000 name leaving ' rest'
// expect: find: 0 22 -1 -1 28
// expect: sqrt: 4.000000 1.414214
// expect: random in range: true, an empty range: 5
