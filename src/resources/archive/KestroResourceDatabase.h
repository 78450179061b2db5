// A resource database over one archive of the content: the folder of that
// name, or a "<name>.ja" archive file, mounted under the archive's name
// while the database lives.
//
// Archive files are only recognised: this build does not read them, so the
// mount of one serves nothing (and a log line says so).
#pragma once

#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/resource/ResourceDatabase.h"

class KestroResourceDatabase : public Nyx::ResourceDatabase {
public:
    // Mounts folder/name.ja (isArchive) or the folder folder/name/.
    KestroResourceDatabase(const Nyx::File::Path& folder, const Nyx::PString& name, bool isArchive);
    ~KestroResourceDatabase() override;

    const Nyx::PString& GetSubstName() const noexcept { return substName_; }
    bool IsArchive() const noexcept { return isArchive_; }

private:
    bool isArchive_;
    Nyx::PString substName_;
};
