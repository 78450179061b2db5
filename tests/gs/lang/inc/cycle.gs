// Included by include_cycle.gs.
class Ping isclass Pong { public int v; };
class Pong isclass Ping { public int v; };
