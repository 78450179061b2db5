// Secured classes: the router hands a game object out by its id, from this
// world or from any, unless its class is declared secured.
include "gs.gs"
include "test.gs"

secured class Guarded isclass GameObject {};

class Open isclass GameObject {};

class Test isclass GameObject {
  void Main(void) {
    Guarded guarded = new Guarded();
    Open open = new Open();
    Out.Print("open by id: " + (Router.GetGameObject(open.GetId()) == open));
    Out.Print("open from any world: " + (Router.GetForeignGameObject(open.GetId()) == open));
    Out.Print("secured by id: " + (Router.GetGameObject(guarded.GetId()) == null));
    Out.Print("secured from any world: " + (Router.GetForeignGameObject(guarded.GetId()) == null));
  }
};
// expect: open by id: true
// expect: open from any world: true
// expect: secured by id: true
// expect: secured from any world: true
