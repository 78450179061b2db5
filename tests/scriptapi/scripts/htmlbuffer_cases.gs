// HTMLBuffer: the escape table, line breaks in each pairing, the IsEmpty
// sequence, and Print's and Escape's strict text.
include "Kestro.gs"

class Test isclass KestroScriptBase {
  HTMLBuffer buffer;

  thread void Bad(int which) {
    string nothing = null;
    if (which == 1) buffer.Print("");
    if (which == 2) buffer.Escape(nothing);
    Log("case " + which + " went on");
  }

  void Main(void) {
    buffer = HTMLBufferStatic.Construct();
    Log("new: " + buffer.IsEmpty() + " [" + buffer.AsString() + "]");
    buffer.Print("<b>");
    Log("printed: " + buffer.IsEmpty() + " " + buffer.AsString());
    buffer.Escape("a<b>c&d\"e'");
    Log("escaped: " + buffer.IsEmpty() + " " + buffer.AsString());
    buffer.Clear();
    Log("cleared: " + buffer.IsEmpty() + " [" + buffer.AsString() + "]");
    buffer.Escape("1\r\n2\n\r3\r4\n5\r\r6");
    Log("breaks: " + buffer.AsString());
    HTMLBuffer other = HTMLBufferStatic.Construct();
    Log("another: " + (other != buffer) + " " + other.IsEmpty());
    Bad(1);
    Bad(2);
  }
};

// expect log: new: true []
// expect log: printed: true <b>
// expect log: escaped: false <b>a&lt;b&gt;c&amp;d"e'
// expect log: cleared: true []
// expect log: breaks: 1<br>2<br>3<br>4<br>5<br><br>6
// expect log: another: true true
// expect log: empty string at parameter 1 (file HTMLBuffer.gs)
// expect log: null string at parameter 1 (file HTMLBuffer.gs)
