// Every kind of member, with specifiers in any order.
include "inc/shared.gs"

public final class Limits {
  define int Max = 0x7FFFFFFF;
  define float Half = 0.5f;
  define string Name = "limits";
  public static native int Count(string kind, Soup[] soups);
  final public void Reset(void);
  int[] values, more;
  Shared shared;
  thread void Run() { }
  public game secured object Find(int index, float weight) { return null; }
};

class Empty {};
static class Tools isclass Limits, Empty { };
// expect compile: declarations.gs(4) : Class has illegal declaration specifiers, line 4.
// errors: 1
