// The localised interface texts: one config tree whose root holds a data tag
// per "$" key, and three named sub-tables. One process-wide object holds it;
// the tree is read from "interfacetext.chump" in the "data" mount (its
// ".txt" source when the compiled file does not load) the first time any
// text is asked for.
//
// Loading holds the application lock exclusively and lookups hold it shared
// around the tree access, so worker threads never see a half-loaded tree. A
// thread that already holds the application lock shared must not be the one
// to trigger the first load: a shared hold cannot be raised to exclusive.
#pragma once

#include <atomic>
#include <cstdint>

#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class InterfaceTextDB {
public:
    // Misses of GetString that are logged over the whole process.
    static constexpr uint32_t kMaxLoggedMisses = 10;

    InterfaceTextDB() = default;
    virtual ~InterfaceTextDB();
    InterfaceTextDB(const InterfaceTextDB&) = delete;
    InterfaceTextDB& operator=(const InterfaceTextDB&) = delete;

    // The process-wide object, loaded first when it has not been yet.
    static InterfaceTextDB& Instance();
    // The loaded flag, read without the lock.
    static bool IsLoaded() noexcept;
    // Loads the table once, whichever thread asks first; later calls only
    // read the flag.
    static void EnsureLoaded();

    // (Re)reads the tree and the three sub-table references, holding the
    // application lock exclusively throughout, and sets the loaded flag. A
    // file that cannot be read leaves an empty table.
    void Load();

    // The key's text from the root table. The empty key is given back as it
    // is. A key without text gives the key itself when `logMissing` is set
    // (logging the first kMaxLoggedMisses such misses of the process), else
    // the empty string.
    Nyx::PString GetString(const Nyx::PString& key, bool logMissing);
    // The key's text from the "scenario_text" table; empty when absent.
    Nyx::PString GetScenarioString(const Nyx::PString& key);
    // The key's text in the given table, read under the application lock;
    // the key itself when the table has no text for it.
    static Nyx::PString LookupKey(const Nyx::PString& key, const ChunkRef& table);

    // Tests only: drops the tree and clears the loaded flag and the miss
    // count, so that the next use loads afresh.
    static void UnloadForTest();

private:
    ChunkRef root_;
    ChunkRef mapText_;
    ChunkRef specText_;
    ChunkRef scenarioText_;

    static std::atomic<uint8_t> loaded_;
    static std::atomic<uint32_t> missCount_;
};

// The key's text, the table loaded first; a key without text gives itself.
// What command handlers and tasks call before they report a result.
Nyx::String GetInterfaceText(const Nyx::String& key);
