// The natives of the test-only script class Probe (the harness's own
// Probe.gs, kept apart from the system scripts): test scripts read back what
// the tool's natives did to native objects. Only the harness and the test
// programs register them.
#pragma once

class GSMachine;

// Enters the natives once per machine.
void RegisterProbeNatives(GSMachine& machine);
