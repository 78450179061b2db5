#include "kad/requests/AuthorNames.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"

namespace {

struct AuthorRecord {
    Nyx::PString name;  // lower case
    int32_t value;      // -1 for none
    int32_t userId;
};

// Few authors per process: a list searched in order serves as the indexes.
std::mutex g_lock;
std::vector<AuthorRecord> g_records;

const Nyx::PString& FixedName(const char* text)
{
    // Interned once, as the names of built-in content are.
    static const Nyx::PString kMarvu("Marvu"), kUnknown("unknown"), kNone("-");
    return text[0] == 'M' ? kMarvu : text[0] == 'u' ? kUnknown : kNone;
}

// The ids of built-in content's authors, tested in this order.
constexpr int32_t kBuiltinAuthors[] = {30501, 401543, 44179, 311512, 407571, 523, 414773, 447264, 467400};

const Nyx::PString* FixedAuthor(int32_t userId)
{
    if (userId == 0)
        return &FixedName("-");
    if (userId == -2)
        return &FixedName("unknown");
    if (userId < 0 || std::find(std::begin(kBuiltinAuthors), std::end(kBuiltinAuthors), userId) !=
                          std::end(kBuiltinAuthors))
        return &FixedName("Marvu");
    return nullptr;
}

// A newer record replaces every older one that shares its user id, its
// value or its name.
void Store(int32_t value, const Nyx::PString& name, int32_t userId)
{
    if (value == -1 && name.Empty())
        return;
    const Nyx::PString lower = Nyx::PStringCache::ToLower(name);
    std::erase_if(g_records, [&](const AuthorRecord& r) {
        return r.userId == userId || (value != -1 && r.value == value) || (!lower.Empty() && r.name == lower);
    });
    g_records.push_back({lower, value, userId});
}

}  // namespace

bool QueryAuthorName(int32_t userId, int32_t& value, Nyx::PString& name)
{
    if (const Nyx::PString* fixed = FixedAuthor(userId)) {
        value = -1;
        name = *fixed;
        return true;
    }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        for (const AuthorRecord& r : g_records) {
            if (r.userId == userId) {
                value = r.value;
                name = r.name;
                return true;
            }
        }
    }
    // Asked without the lock: the call waits on the daemon.
    int32_t asked = -1;
    Nyx::PString answer;
    if (!KADRequests::QueryAuthorName(userId, asked, answer)) {
        value = -1;
        name = Nyx::PString();
        return true;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    Store(asked, answer, userId);
    value = asked;
    name = Nyx::PStringCache::ToLower(answer);
    return true;
}

Nyx::PString GetAuthorName(int32_t userId)
{
    int32_t value = -1;
    Nyx::PString name;
    QueryAuthorName(userId, value, name);
    return name;
}

Nyx::PString LookupAuthorName(const AssetRecord& record) { return GetAuthorName(record.authorId); }

void ClearAuthorNames()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_records.clear();
}
