// The tool clock: a process-wide float of seconds since the first tick. The
// command host's polling loop advances it on every round; the script world's
// GetSeconds and the online endpoint's timers read it, so neither needs a
// clock of its own and both see time stand still between rounds.
#pragma once

// Advances the clock, runs the jobs queued for the main thread (the daemon's
// notifications are handled there) and collects the string cache's garbage.
void UpdateTick();

// Seconds since the first UpdateTick, as of the latest one (0 before it).
float ToolClockSeconds();

// Moves the clock forward by that many seconds from the next tick on, so
// tests and test programs can step past long timeouts without sleeping.
void AdvanceToolClock(double seconds);
