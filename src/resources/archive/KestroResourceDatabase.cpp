#include "resources/archive/KestroResourceDatabase.h"

#include "core/process/Log.h"

KestroResourceDatabase::KestroResourceDatabase(const Nyx::File::Path& folder, const Nyx::PString& name,
                                               bool isArchive)
    : Nyx::ResourceDatabase(name), isArchive_(isArchive), substName_(name)
{
    Nyx::File::Path path = folder;
    path.AddPath(name.View());
    if (isArchive) {
        path = Nyx::File::Path(path.Str() + ".ja");
        LogMessage("KestroResourceDatabase> archive files are not read by this build: '%s'", path.c_str());
    } else {
        path.EnsureTrailingSeparator();
    }
    // The mount of an archive file names the file itself: no file opens
    // below it.
    Nyx::File::Subst::Add(substName_, path);
}

KestroResourceDatabase::~KestroResourceDatabase() { Nyx::File::Subst::Remove(substName_); }
