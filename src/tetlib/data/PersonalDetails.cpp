#include "tetlib/data/PersonalDetails.h"

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"

namespace TETLib {

namespace {

struct Names {
    Nyx::PString author{"author"};
    Nyx::PString organisation{"organisation"};
    Nyx::PString email{"email"};
    Nyx::PString website{"website"};
    Nyx::PString license{"license"};
    Nyx::PString isinputboxon{"isinputboxon"};
};

const Names& TagNames()
{
    static const Names* const names = new Names;
    return *names;
}

}  // namespace

bool ReadPersonalDetailsFile(const Nyx::File::Path& path, PersonalDetails& details)
{
    if (Nyx::File::Exists(path) != 0 || Nyx::File::IsFolder(path))
        return false;
    ChunkRef tree;
    if (!LoadConfigFile(tree, nullptr, path.c_str(), "txt"))
        return false;
    const Names& n = TagNames();
    details.author = TDBContainerTag::GetString(tree, n.author);
    details.organisation = TDBContainerTag::GetString(tree, n.organisation);
    details.email = TDBContainerTag::GetString(tree, n.email);
    details.website = TDBContainerTag::GetString(tree, n.website);
    details.license = TDBContainerTag::GetString(tree, n.license);
    details.isinputboxon = TDBContainerTag::GetInt(tree, n.isinputboxon, 0) != 0;
    return true;
}

bool WritePersonalDetailsFile(const Nyx::File::Path& path, const PersonalDetails& details)
{
    const Names& n = TagNames();
    ChunkRef tree;
    TDBContainerTag::SetString(tree, n.author, details.author);
    TDBContainerTag::SetString(tree, n.organisation, details.organisation);
    TDBContainerTag::SetString(tree, n.email, details.email);
    TDBContainerTag::SetString(tree, n.website, details.website);
    TDBContainerTag::SetString(tree, n.license, details.license);
    TDBContainerTag::SetInt(tree, n.isinputboxon, details.isinputboxon ? 1 : 0);
    return SaveConfigFile(tree, nullptr, path.c_str(), "txt");
}

}  // namespace TETLib
