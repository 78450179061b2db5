// Releasing what the process holds without use.
#pragma once

// On the main thread (the one recorded at start-up): drops the engine
// resources nobody holds, when a resource system exists, and frees the
// interned strings nobody refers to. On any other thread: nothing; the
// engine's resource cache is the main thread's to sweep.
void PurgeUnusedResources();
