// Classes: fields with their first values, bases, overriding and the
// inherited version, calls through a base, casts and class tests, objects
// compared and passed, static classes and constants, and the class name
// every object deriving from GSObject can tell.
include "gs.gs"
include "test.gs"

class Shape isclass GSObject {
  public string name = "shape";
  public int sides;
  public string Describe(void) { return name + " with " + sides + " sides"; }
  public float Area(void) { return 0.0; }
};

class Square isclass Shape {
  public float side = 2.0;
  public float Area(void) { return side * side; }
  public string Describe(void) { return "square: " + inherited(); }
};

class Triangle isclass Shape {
  public float base = 3.0, height = 4.0;
  public float Area(void) { return base * height / 2; }
};

static class Counter {
  public int made;
  public define int Limit = 3;
};

class Test isclass GSObject {
  Shape Make(int kind) {
    Counter.made++;
    if (kind == 0) {
      Square s = new Square();
      s.name = "square";
      s.sides = 4;
      return s;
    }
    Triangle t = new Triangle();
    t.name = "triangle";
    t.sides = 3;
    return t;
  }

  void Main(void) {
    Shape[] shapes = new Shape[2];
    int i;
    for (i = 0; i < 2; i++)
      shapes[i] = Make(i);
    for (i = 0; i < shapes.size(); i++)
      Out.Print(shapes[i].Describe() + ", area " + shapes[i].Area());
    Out.Print("made " + Counter.made + " of " + Counter.Limit);

    Shape any = shapes[1];
    Square notSquare = cast<Square> any;
    Triangle triangle = cast<Triangle> any;
    Out.Print("casts: " + (notSquare == null) + " " + (triangle != null) + " " + triangle.base);
    Out.Print("isclass: " + any.isclass(Triangle) + " " + any.isclass(Shape) + " " + any.isclass(Square));
    Out.Print("same object: " + (any == triangle) + " " + (shapes[0] == shapes[1]));
    Out.Print("class names: " + any.GetGSClassName() + " " + me.GetGSClassName());
    Shape plain = new Shape();
    Out.Print("a plain one: " + plain.Describe() + ", area " + plain.Area());
  }
};
// expect: square: square with 4 sides, area 4.000000
// expect: triangle with 3 sides, area 6.000000
// expect: made 2 of 3
// expect: casts: true true 3.000000
// expect: isclass: true true false
// expect: same object: true false
// expect: class names: Triangle Test
// expect: a plain one: shape with 0 sides, area 0.000000
