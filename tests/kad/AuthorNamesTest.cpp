#include "kad/requests/AuthorNames.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"

namespace {

// Answers request 90 from a table of id -> (value, name).
class AuthorDaemon {
public:
    explicit AuthorDaemon(std::map<int32_t, std::pair<int32_t, std::string>> names)
        : names_(std::move(names)),
          daemon_([this](uint32_t number, const std::string& payload) -> std::optional<std::string> {
              if (number != 90 || payload.size() != 4)
                  return std::string();
              int32_t id = 0;
              for (int i = 3; i >= 0; --i)
                  id = (id << 8) | static_cast<uint8_t>(payload[i]);
              auto found = names_.find(id);
              if (found == names_.end())
                  return std::nullopt;
              return wire::Bytes().U32(static_cast<uint32_t>(found->second.first)).Text(found->second.second).Str();
          })
    {
        ClearAuthorNames();
    }
    ~AuthorDaemon() { ClearAuthorNames(); }
    int Asked() const { return daemon_.Count(90); }

private:
    std::map<int32_t, std::pair<int32_t, std::string>> names_;
    ScriptedDaemon daemon_;
};

TEST(AuthorNamesTest, SpecialIdsHaveFixedNamesWithoutAskingTheDaemon)
{
    AuthorDaemon daemon({});
    struct Case {
        int32_t id;
        const char* name;
    } cases[] = {{0, "-"}, {-2, "unknown"}, {-5, "Marvu"}, {-1, "Marvu"}, {523, "Marvu"}, {30501, "Marvu"},
                 {467400, "Marvu"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        int32_t value = 0;
        Nyx::PString name;
        EXPECT_TRUE(QueryAuthorName(c.id, value, name));
        EXPECT_EQ(value, -1);
        EXPECT_EQ(name.View(), c.name);
    }
    EXPECT_EQ(daemon.Asked(), 0);
}

TEST(AuthorNamesTest, NamesAreKeptLowerCasedAndANewerRecordReplacesOlderOnes)
{
    AuthorDaemon daemon({{20, {5, "Alice Smith"}}, {21, {5, "Bob"}}, {22, {-1, ""}}});
    EXPECT_EQ(GetAuthorName(20).View(), "alice smith");
    EXPECT_EQ(GetAuthorName(20).View(), "alice smith");
    EXPECT_EQ(daemon.Asked(), 1);
    // Bob shares Alice's value: his record replaces hers.
    int32_t value = 0;
    Nyx::PString name;
    QueryAuthorName(21, value, name);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(name.View(), "bob");
    EXPECT_EQ(GetAuthorName(20).View(), "alice smith");
    EXPECT_EQ(daemon.Asked(), 3);
    // Nothing to keep: asked every time.
    EXPECT_TRUE(GetAuthorName(22).Empty());
    EXPECT_TRUE(GetAuthorName(22).Empty());
    EXPECT_EQ(daemon.Asked(), 5);
    // A failed call answers -1 and the empty name.
    QueryAuthorName(99, value, name);
    EXPECT_EQ(value, -1);
    EXPECT_TRUE(name.Empty());
}

}  // namespace
