// The category codes an asset's kind stands for, for a config that names
// no "category-class" of its own: the tool's consist import, for one, makes
// consists with a kind and no category and later finds them by the code CN.
#pragma once

#include <string>
#include <string_view>

namespace kaddaemon {

// The ";"-separated codes of the kind (compared without regard to case);
// empty for a kind the table does not name. Kinds whose codes depend on a
// further qualifier get the codes of the unqualified kind.
std::string KindCategory(std::string_view kind);

}  // namespace kaddaemon
