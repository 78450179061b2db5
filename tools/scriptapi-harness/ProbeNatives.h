// The natives of the test-only script class Probe (Probe.gs, compiled with
// the system scripts): test scripts read back what the tool's natives did
// to native objects. Only the harness and the test programs register them.
#pragma once

class GSMachine;

// Enters the natives once per machine.
void RegisterProbeNatives(GSMachine& machine);
