#include "platform/FileConfinement.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/VisitedFolders.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using Platform::FileConfinement;
using Platform::ResolveDots;

TEST(FileConfinementTest, DotsAreResolvedInTheText)
{
    struct Case {
        const char* path;
        size_t keep;
        std::optional<std::string> expected;
    } cases[] = {
        {"a/b/c", 0, "a/b/c"},
        {"a/./b//c/", 0, "a/b/c"},
        {"a/b/../c", 0, "a/c"},
        {"a/b/../../c", 0, "c"},
        {"a/b/../../../c", 0, std::nullopt},
        {"../c", 0, std::nullopt},
        {"/x/../y", 0, "/y"},
        {"/..", 0, std::nullopt},
        {"/", 0, "/"},
        {"", 0, ""},
        // The kept components may not be taken away.
        {"asset/tex/../b.bmp", 1, "asset/b.bmp"},
        {"asset/tex/../../other/b.bmp", 1, std::nullopt},
        {"asset/..", 1, std::nullopt},
        {"./asset/./x", 1, "asset/x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveDots(c.path, c.keep), c.expected) << c.path << " keep " << c.keep;
}

class ConfinedTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        temp_.Write("asset/Body.bmp", "body");
        temp_.Write("asset/tex/wheel.bmp", "wheel");
        temp_.Write("outside/secret.bmp", "secret");
        temp_.Write("asset-other/x.bmp", "other");
        fs::create_symlink(Real("outside"), Real("asset/ext"));
        fs::create_symlink(Real("outside/secret.bmp"), Real("asset/secret.bmp"));
        fs::create_symlink("tex/wheel.bmp", Real("asset/near.bmp"));
        fs::create_symlink(".", Real("asset/self"));
        fs::create_symlink("missing.bmp", Real("asset/dangling.bmp"));
        ASSERT_EQ(::mkfifo(Real("asset/pipe.bmp").c_str(), 0600), 0);
        rule_.AddRoot(Real("asset"));
    }

    std::string Real(const std::string& rel) const { return fs::canonical(temp_.Path()).string() + "/" + rel; }

    TempFolder temp_;
    FileConfinement rule_;
};

TEST_F(ConfinedTree, OnlyWhatLiesInsideAfterLinksResolves)
{
    struct Case {
        const char* path;  // below the temporary folder
        const char* real;  // below it too; nullptr: refused
    } cases[] = {
        {"asset/Body.bmp", "asset/Body.bmp"},
        {"asset/body.BMP", "asset/Body.bmp"},
        {"asset/tex/../Body.bmp", "asset/Body.bmp"},
        {"asset/near.bmp", "asset/tex/wheel.bmp"},
        {"asset/self/self/tex/wheel.bmp", "asset/tex/wheel.bmp"},
        {"asset/tex", "asset/tex"},
        {"asset", "asset"},
        {"asset/../outside/secret.bmp", nullptr},
        {"asset/../asset-other/x.bmp", nullptr},
        {"asset/ext/secret.bmp", nullptr},
        {"asset/ext", nullptr},
        {"asset/secret.bmp", nullptr},
        {"asset/dangling.bmp", nullptr},
        {"asset/missing.bmp", nullptr},
    };
    for (const Case& c : cases) {
        const std::string expected = c.real ? Real(c.real) : std::string();
        EXPECT_EQ(rule_.Resolve(Real(c.path)), expected) << c.path;
    }
    // Only regular files are files.
    EXPECT_EQ(rule_.ResolveFile(Real("asset/Body.bmp")), Real("asset/Body.bmp"));
    EXPECT_EQ(rule_.ResolveFile(Real("asset/tex")), "");
    EXPECT_EQ(rule_.ResolveFile(Real("asset/pipe.bmp")), "");
    // A rule without roots allows nothing; a root that does not exist adds none.
    FileConfinement none;
    none.AddRoot(Real("no-such-folder"));
    EXPECT_FALSE(none.HasRoots());
    EXPECT_EQ(none.Resolve(Real("asset/Body.bmp")), "");
}

TEST_F(ConfinedTree, OpensRegularFilesOnlyAndNeverWaits)
{
    auto read = [&](const std::string& rel) {
        const int fd = rule_.Open(Real(rel), O_RDONLY);
        if (fd < 0)
            return std::string("-");
        char buffer[32];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        // The descriptor waits again as any other would.
        const bool blocking = (::fcntl(fd, F_GETFL) & O_NONBLOCK) == 0;
        ::close(fd);
        return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0) + (blocking ? "" : " (non-blocking)");
    };
    EXPECT_EQ(read("asset/Body.bmp"), "body");
    EXPECT_EQ(read("asset/near.bmp"), "wheel");
    EXPECT_EQ(read("asset/secret.bmp"), "-");
    EXPECT_EQ(read("asset/ext/secret.bmp"), "-");
    EXPECT_EQ(read("asset/tex"), "-");
    // A FIFO nobody writes would hold a plain open for ever; held open at
    // both ends here, so that opening it anyway fails rather than waits.
    const int pipeEnds = ::open(Real("asset/pipe.bmp").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(pipeEnds, 0);
    EXPECT_EQ(read("asset/pipe.bmp"), "-");
    ::close(pipeEnds);

    // A socket is no file either.
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = Real("asset/s.bmp");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(read("asset/s.bmp"), "-");
    ::close(sock);

    // The flags asked for stay, the one added for the open goes.
    const int appending = rule_.Open(Real("asset/Body.bmp"), O_WRONLY | O_APPEND);
    ASSERT_GE(appending, 0);
    EXPECT_EQ(::fcntl(appending, F_GETFL) & (O_APPEND | O_NONBLOCK | O_ACCMODE), O_APPEND | O_WRONLY);
    ::close(appending);

    // Devices lie outside any asset folder, and a root holding one still
    // does not open it.
    FileConfinement devices("/dev");
    EXPECT_LT(devices.Open("/dev/null", O_RDONLY), 0);
}

TEST_F(ConfinedTree, ARootSpeltThroughALinkOrDotsHoldsTheSame)
{
    // The names right inside a root are opened by the root's real path,
    // however the root was spelt; a link among them is still followed only
    // when it stays inside.
    fs::create_symlink(Real("asset"), Real("asset-link"));
    for (const std::string& spelt : {Real("asset-link"), Real("asset/tex/..")}) {
        FileConfinement rule(spelt);
        auto read = [&](const std::string& name) {
            const int fd = rule.Open(spelt + "/" + name, O_RDONLY);
            if (fd < 0)
                return std::string("-");
            char buffer[32];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            ::close(fd);
            return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        };
        EXPECT_EQ(read("Body.bmp"), "body") << spelt;
        EXPECT_EQ(read("BODY.bmp"), "body") << spelt;
        EXPECT_EQ(read("near.bmp"), "wheel") << spelt;
        EXPECT_EQ(read("secret.bmp"), "-") << spelt;
        EXPECT_EQ(read("pipe.bmp"), "-") << spelt;
        EXPECT_EQ(read("tex"), "-") << spelt;
        EXPECT_EQ(read(".."), "-") << spelt;
        EXPECT_EQ(rule.Resolve(spelt + "/Body.bmp"), Real("asset/Body.bmp")) << spelt;
    }
}

TEST_F(ConfinedTree, CreatesOnlyInsideAndNeverThroughALink)
{
    const int made = rule_.Open(Real("asset/tex/new.texture"), O_WRONLY | O_CREAT | O_TRUNC);
    ASSERT_GE(made, 0);
    EXPECT_EQ(::write(made, "nn", 2), 2);
    ::close(made);
    EXPECT_EQ(temp_.ReadAll("asset/tex/new.texture"), "nn");

    // Existing files are rewritten; a link standing at the name is not
    // written through, whether it points out or in.
    const int again = rule_.Open(Real("asset/Body.bmp"), O_WRONLY | O_CREAT | O_TRUNC);
    ASSERT_GE(again, 0);
    ::close(again);
    EXPECT_EQ(temp_.ReadAll("asset/Body.bmp"), "");
    EXPECT_LT(rule_.Open(Real("asset/secret.bmp"), O_WRONLY | O_CREAT | O_TRUNC), 0);
    EXPECT_EQ(temp_.ReadAll("outside/secret.bmp"), "secret");
    EXPECT_LT(rule_.Open(Real("asset/ext/new.bmp"), O_WRONLY | O_CREAT | O_TRUNC), 0);
    EXPECT_LT(rule_.Open(Real("asset/../outside/new.bmp"), O_WRONLY | O_CREAT | O_TRUNC), 0);
    EXPECT_LT(rule_.Open(Real("asset/dangling.bmp"), O_WRONLY | O_CREAT | O_TRUNC), 0);
    EXPECT_FALSE(temp_.Has("outside/new.bmp"));
    EXPECT_FALSE(temp_.Has("asset/missing.bmp"));
    EXPECT_LT(rule_.Open(Real("asset/pipe.bmp"), O_WRONLY | O_CREAT | O_TRUNC), 0);
}

TEST_F(ConfinedTree, AWalkEntersEachRealFolderOnce)
{
    fs::create_symlink(".", Real("asset/tex/up"));
    fs::create_symlink("..", Real("asset/tex/back"));
    Platform::VisitedFolders visited;
    EXPECT_TRUE(visited.Enter(Real("asset")));
    EXPECT_TRUE(visited.Enter(Real("asset/tex")));
    for (const char* again : {"asset/self", "asset/self/self", "asset/tex/up", "asset/tex/back", "asset/tex/up/up"})
        EXPECT_FALSE(visited.Enter(Real(again))) << again;
    EXPECT_FALSE(visited.Enter(Real("asset/Body.bmp"))) << "no folder";
    EXPECT_FALSE(visited.Enter(Real("asset/missing")));
    EXPECT_FALSE(visited.Enter(""));
    EXPECT_TRUE(visited.Enter(Real("outside")));
    EXPECT_EQ(visited.Count(), 3u);
}

}  // namespace
