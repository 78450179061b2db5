// The command host's per-pass tick: the script runtime's clock and string
// housekeeping belong here once the script runtime is part of the build;
// for now it runs the jobs queued for the main thread, which is where the
// daemon's notifications (the command host's jobs among them) are handled.
#pragma once

// Runs every main-thread job queued now, on the calling (main) thread.
void UpdateTick();
