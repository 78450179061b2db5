// An archive opened by name inside the content root and held by one user.
#pragma once

#include "nyx/base/PString.h"

class KestroResourceDatabase;

struct SubstHandle {
    KestroResourceDatabase* database = nullptr;
    // True when opened without a name or when the archive was acquired.
    bool ok = false;

    // Gives the archive back and empties the handle.
    void Close();
};

// An empty name gives an open handle without an archive.
SubstHandle OpenSubst(const char* name);
// Gives the handle's archive back, leaving its fields as they are.
void CloseSubst(const SubstHandle& handle);
