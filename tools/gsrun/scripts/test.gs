//
// test.gs: what the script runner gives the scripts it runs.
//

// The runner's output.
static class Out
{
  // Prints the text as a line of its own.
  public native void Print(string text);
};
