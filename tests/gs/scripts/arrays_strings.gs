// Arrays and strings: making them, growing an array by storing past its
// end, sizes, ranges of both (a missing bound is the end), copies (a
// string assigned or initialised from a variable, a field or a call is a
// copy of its own), characters read and written, comparison and
// concatenation.
include "gs.gs"
include "test.gs"

class Test {
  string kept = "field";
  string other = kept;

  string Kept() { return kept; }

  string Join(int[] a) {
    string s = "[";
    int i;
    for (i = 0; i < a.size(); i++) {
      if (i) s = s + ",";
      s = s + a[i];
    }
    return s + "]";
  }

  void Main(void) {
    int[] a = new int[3];
    a[0] = 5;
    a[5] = 9;
    Out.Print("grown: " + Join(a) + " size " + a.size());
    Out.Print("ranges: " + Join(a[1, 3]) + " " + Join(a[4, ]) + " " + Join(a[, 2]));
    int[] b = new int[0];
    b.copy(a);
    b[0] = 1;
    Out.Print("copy: " + Join(a) + " " + Join(b));
    a[1, 5] = b[0, 2];
    Out.Print("replaced: " + Join(a));
    a[0]++;
    a[1] = a[1] * 10;
    Out.Print("elements: " + Join(a));

    string[] words = new string[2];
    words[0] = "alpha";
    words[1] = "beta";
    words[3] = "delta";
    Out.Print("words: " + words.size() + " " + words[0] + " " + (words[2] == null) + " " + words[3]);

    string s = "hello";
    Out.Print("characters: " + s[0] + " " + s.size() + " " + s[1, 3] + " " + s[3, ] + " " + s[, 2]);
    s[0] = 'J';
    s[7] = '!';
    Out.Print("written: '" + s + "' " + s.size());
    string t;
    t = s;
    t[0] = 'M';
    Out.Print("assigned copies: " + s + " " + t);
    s[1, 5] = "ava";
    Out.Print("range replaced: " + s);
    string w = s;
    w[0] = 'L';
    string g = Kept();
    g[0] = 'X';
    other[0] = 'Y';
    Out.Print("initialised copies: " + s + " " + w + " " + kept + " " + g + " " + other);
    Out.Print("compare: " + ("abc" < "abd") + " " + ("b" == "b") + " " + ("" == null) + " " + ("a" > null));
    string u = null;
    Out.Print("with null: '" + u + "' '" + (u + "x") + "'");
  }
};
// expect: grown: [5,0,0,0,0,9] size 6
// expect: ranges: [0,0] [0,9] [5,0]
// expect: copy: [5,0,0,0,0,9] [1,0,0,0,0,9]
// expect: replaced: [5,1,0,9]
// expect: elements: [6,10,0,9]
// expect: words: 4 alpha true delta
// expect: characters: 104 5 el lo he
// expect: written: 'Jello  !' 8
// expect: assigned copies: Jello  ! Mello  !
// expect: range replaced: Java  !
// expect: initialised copies: Java  ! Lava  ! field Xield Yield
// expect: compare: true true true true
// expect: with null: '' 'x'
