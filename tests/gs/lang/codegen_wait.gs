// Waiting for messages: a wait's table of clauses and handlers, each
// handler but the last leaving the wait with a jump, continue waiting
// again, break leaving; an on outside a wait waits for its one message on
// the spot; a message stored into a variable, or through a temporary into
// a field of another object.
class Message {
  public Message next;
};
class Waits {
  Message last;
  thread void Loop(Message other) {
    Message m;
    int count;
    wait () {
      on "Timer", "Tick": { count++; continue; }
      on "Object", "Moved", m: break;
      on "Object", "Gone", other.next: count = 0;
    }
    on "Timer", "Once": count = 1;
    on "Timer", "Twice", last: return;
  }
};
// code Waits::Loop: WAIT "Timer","Tick"->27 "Object","Moved"->45 "Object","Gone"->61; POPO; LOAD 3; INC
// code Waits::Loop: POPL 3; JMP 0; JMP 80; CAST Message; POPLO 2; JMP 80; JMP 80; POPL 4; LOADO 1; LOAD 4
// code Waits::Loop: CAST Message; POPFO 2; PUSH0; POPL 3; WAIT "Timer","Once"->91; POPO; PUSH1; POPL 3
// code Waits::Loop: WAIT "Timer","Twice"->107; CAST Message; POPMO 2; RET
// errors: 0
