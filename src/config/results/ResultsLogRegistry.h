// The process-wide map from a 32-bit key (a daemon transaction id) to the
// results log that takes the results arriving for it, so that results read
// on another thread find their log. The registry does not own the logs; a
// log leaves it when it is destroyed.
#pragma once

#include <cstdint>

class ResultsLog;

class ResultsLogRegistry {
public:
    ResultsLogRegistry() = delete;

    // Inserts or overwrites.
    static void Set(uint32_t key, ResultsLog* log);
    // Null when the key is not registered.
    static ResultsLog* Get(uint32_t key);
    static void Remove(uint32_t key);
    // Removes every key that maps to the log.
    static void Unregister(const ResultsLog* log);
};
