#include "kad/discovery/DaemonLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/DaemonTestSupport.h"
#include "support/TempFolder.h"

namespace {

using daemontest::DeadProcessId;

struct FolderCase {
    const char* dataFile;
    bool ok;
    const char* folder;
};

TEST(DaemonLinkNames, DataFolderOfCutsTheFileNameOnlyWhenItStandsAtTheEnd)
{
    const FolderCase cases[] = {
        {"/data/assets.tdx", true, "/data"},
        {"/Data/Sub\\ASSETS.TDX", true, "/Data/Sub"},
        {"/assets.tdx", true, ""},
        // An empty data path joined with the file name: nothing to cut.
        {"assets.tdx", false, nullptr},
        {"", false, nullptr},
        {"/data/myassets.tdx", false, nullptr},
        {"/data/assets.tdx.bak", false, nullptr},
        {"/data/assets.tdx/assets.tdx", false, nullptr},
        {"/data/assets.tdx2", false, nullptr},
    };
    for (const FolderCase& c : cases) {
        std::string folder = "unchanged";
        EXPECT_EQ(DaemonLink::DataFolderOf(c.dataFile, folder), c.ok) << c.dataFile;
        if (c.ok) {
            EXPECT_EQ(folder, c.folder) << c.dataFile;
        }
    }
}

TEST(DaemonLinkNames, NamesJoinTheGuidTheFolderAndTheSuffix)
{
    DaemonObjectNames names = DaemonLink::NamesFor("/srv/kestro");
    EXPECT_EQ(names.mutexName, "09731AC6-B611-4e2a-B181-578073F64F24/srv/kestro");
    EXPECT_EQ(names.sharedMemoryName, "09731AC6-B611-4e2a-B181-578073F64F24/srv/kestro/-ipc2");
    EXPECT_EQ(names.lockFilePath, "/dev/shm/" + PosixObjectName(names.mutexName));
    EXPECT_EQ(names.sharedMemoryPath, "/" + PosixObjectName(names.sharedMemoryName));
    EXPECT_NE(PosixObjectName(names.mutexName), PosixObjectName(names.sharedMemoryName));

    // The names are shared with processes of other builds: the hash is
    // fixed (FNV-1a, 64 bits).
    EXPECT_EQ(PosixObjectName(""), "kestro-kad-cbf29ce484222325");
    EXPECT_EQ(PosixObjectName("a"), "kestro-kad-af63dc4c8601ec8c");
}

TEST(DaemonLinkNames, BackSlashesDoNotChangeTheNamesButCaseDoes)
{
    std::string a;
    std::string b;
    std::string lower;
    ASSERT_TRUE(DaemonLink::DataFolderOf("/Srv/Kestro Data/assets.tdx", a));
    ASSERT_TRUE(DaemonLink::DataFolderOf("\\Srv\\Kestro Data\\Assets.Tdx", b));
    ASSERT_TRUE(DaemonLink::DataFolderOf("/srv/kestro data/assets.tdx", lower));
    EXPECT_EQ(DaemonLink::NamesFor(a).lockFilePath, DaemonLink::NamesFor(b).lockFilePath);
    EXPECT_EQ(DaemonLink::NamesFor(a).sharedMemoryPath, DaemonLink::NamesFor(b).sharedMemoryPath);
    // Folders whose names differ only in case are different data roots.
    EXPECT_NE(DaemonLink::NamesFor(a).lockFilePath, DaemonLink::NamesFor(lower).lockFilePath);
    EXPECT_NE(DaemonLink::NamesFor(a).sharedMemoryPath, DaemonLink::NamesFor(lower).sharedMemoryPath);
    EXPECT_NE(DaemonLink::NamesFor(a).lockFilePath, DaemonLink::NamesFor("/srv/other").lockFilePath);
}

class DaemonLinkTest : public ::testing::Test {
protected:
    DaemonLinkTest() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_), dataFile_(root_ + "/assets.tdx") {}

    TempFolder temp_;
    std::string root_;
    daemontest::DiscoveryCleanup cleanup_;
    std::string dataFile_;
    // Two live processes to play the parts of two attachers.
    uint32_t self_ = static_cast<uint32_t>(::getpid());
    uint32_t other_ = static_cast<uint32_t>(::getppid());
};

TEST_F(DaemonLinkTest, AttachFailsWithoutAFolderAndStaysDetached)
{
    const std::string bad[] = {"assets.tdx", "", root_ + "/missing/assets.tdx", root_ + "/config.txt"};
    for (const std::string& file : bad) {
        DaemonLink link(self_);
        EXPECT_FALSE(link.Attach(file)) << file;
        EXPECT_FALSE(link.IsAttached());
        EXPECT_EQ(link.GetPort(), 0u);
    }
}

TEST_F(DaemonLinkTest, EverySpellingOfTheFolderMeetsTheSameBlock)
{
    DaemonLink daemon(other_);
    ASSERT_TRUE(daemon.Attach(dataFile_));
    daemon.Publish(40129);

    temp_.MakeFolder("sub");
    ASSERT_EQ(::symlink(root_.c_str(), (temp_ / "sub/link").c_str()), 0);
    std::string upper = root_;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string spellings[] = {
        root_ + "/sub/../assets.tdx",
        root_ + "/sub/link/assets.tdx",
        root_ + "/./assets.tdx",
        upper + "/ASSETS.TDX",
    };
    for (const std::string& spelling : spellings) {
        DaemonLink client(self_);
        ASSERT_TRUE(client.Attach(spelling)) << spelling;
        EXPECT_EQ(client.GetPort(), 40129u) << spelling;
    }
}

TEST_F(DaemonLinkTest, FoldersWhoseNamesDifferOnlyInCaseMeetDifferentBlocks)
{
    temp_.MakeFolder("CaseA");
    temp_.MakeFolder("casea");
    const std::string upper = root_ + "/CaseA";
    const std::string lower = root_ + "/casea";
    daemontest::DiscoveryCleanup upperCleanup(upper);
    daemontest::DiscoveryCleanup lowerCleanup(lower);

    DaemonLink daemon(other_);
    ASSERT_TRUE(daemon.Attach(upper + "/assets.tdx"));
    daemon.Publish(40130);
    {
        DaemonLink client(self_);
        ASSERT_TRUE(client.Attach(lower + "/assets.tdx"));
        EXPECT_EQ(client.GetPort(), 0u) << "the other root's daemon was found";
    }
    DaemonLink client(self_);
    ASSERT_TRUE(client.Attach(upper + "/ASSETS.TDX"));
    EXPECT_EQ(client.GetPort(), 40130u);
    DaemonSharedBlock b{};
    EXPECT_FALSE(daemontest::ReadBlock(lower, b) && b.daemonPort == 40130u);
}

TEST_F(DaemonLinkTest, FirstAttacherHoldsAFreshBlockAndSeesNoDaemon)
{
    DaemonLink link(self_);
    ASSERT_TRUE(link.Attach(dataFile_));
    EXPECT_TRUE(link.Attach(dataFile_));  // already attached
    DaemonSharedBlock b{};
    ASSERT_TRUE(daemontest::ReadBlock(root_, b));
    EXPECT_EQ(b.holderProcessId, self_);
    EXPECT_EQ(b.claimProcessId, 0xFFFFFFFFu);
    EXPECT_EQ(b.reserved8, 0xFFFFFFFFu);
    EXPECT_EQ(b.reserved12, 0u);
    EXPECT_EQ(b.modeWord, 3u);
    EXPECT_EQ(b.attachCount, 1u);
    EXPECT_EQ(b.refuseFlag, 0u);
    EXPECT_EQ(b.daemonPort, 0u);
    EXPECT_TRUE(link.IsOwner());
    EXPECT_EQ(link.GetPort(), 0u);
}

TEST_F(DaemonLinkTest, ALaterAttacherReadsThePublishedPort)
{
    DaemonLink daemon(other_);
    ASSERT_TRUE(daemon.Attach(dataFile_));
    daemon.Lock();
    daemon.Publish(40123);
    daemon.Unlock();

    DaemonLink client(self_);
    ASSERT_TRUE(client.Attach(dataFile_));
    EXPECT_FALSE(client.IsHolder());
    EXPECT_EQ(client.GetPort(), 40123u);
    EXPECT_FALSE(client.IsOwner());
    EXPECT_EQ(client.Block()->attachCount, 2u);
    client.Detach();
    // A client's leaving changes nothing the daemon wrote.
    DaemonSharedBlock b{};
    ASSERT_TRUE(daemontest::ReadBlock(root_, b));
    EXPECT_EQ(b.holderProcessId, other_);
    EXPECT_EQ(b.daemonPort, 40123u);
}

TEST_F(DaemonLinkTest, AHolderThatIsGoneIsTakenOver)
{
    const uint32_t gone[] = {DaemonSharedBlock::kNoProcess, DeadProcessId(), 0u};
    for (uint32_t holder : gone) {
        DaemonLink setter(other_);
        ASSERT_TRUE(setter.Attach(dataFile_));
        setter.Lock();
        DaemonSharedBlock::Store(setter.Block()->holderProcessId, holder);
        DaemonSharedBlock::Store(setter.Block()->daemonPort, 40124u);
        setter.Unlock();

        DaemonLink client(self_);
        ASSERT_TRUE(client.Attach(dataFile_));
        EXPECT_EQ(client.GetPort(), 0u) << holder;
        EXPECT_TRUE(client.IsOwner());
        EXPECT_EQ(client.Block()->holderProcessId, self_);
        client.Detach();
        setter.Detach();
    }
}

TEST_F(DaemonLinkTest, ARefusingBlockSendsNewcomersAway)
{
    DaemonLink first(other_);
    ASSERT_TRUE(first.Attach(dataFile_));
    DaemonSharedBlock::Store(first.Block()->refuseFlag, 1u);

    DaemonLink second(self_);
    EXPECT_FALSE(second.Attach(dataFile_));
    EXPECT_FALSE(second.IsAttached());
    EXPECT_EQ(second.Block(), nullptr);
    EXPECT_EQ(second.GetPort(), 0u);
}

TEST_F(DaemonLinkTest, TheModeWordGatesTheAttachCounter)
{
    DaemonLink first(other_);
    ASSERT_TRUE(first.Attach(dataFile_));
    DaemonSharedBlock::Store(first.Block()->modeWord, 0u);
    DaemonLink second(self_);
    ASSERT_TRUE(second.Attach(dataFile_));
    EXPECT_EQ(first.Block()->attachCount, 255u);

    // The counter is bumped without the lock and wraps; nothing reads it.
    DaemonSharedBlock::Store(first.Block()->modeWord, 3u);
    DaemonLink third(self_);
    ASSERT_TRUE(third.Attach(dataFile_));
    EXPECT_EQ(first.Block()->attachCount, 0u);
}

TEST_F(DaemonLinkTest, DetachWithdrawsOnlyItsOwnEntry)
{
    // A client becomes the holder because no daemon serves yet...
    DaemonLink client(self_);
    ASSERT_TRUE(client.Attach(dataFile_));
    ASSERT_TRUE(client.IsOwner());
    // ...and while it looks, a daemon takes the block over.
    DaemonLink daemon(other_);
    ASSERT_TRUE(daemon.Attach(dataFile_));
    daemon.Lock();
    daemon.Publish(40125);
    daemon.Unlock();
    client.Detach();

    DaemonSharedBlock b{};
    ASSERT_TRUE(daemontest::ReadBlock(root_, b));
    EXPECT_EQ(b.holderProcessId, other_);
    EXPECT_EQ(b.daemonPort, 40125u);

    // A holder still named in the block clears its entry when it leaves,
    // and with it the objects: nobody serves the folder.
    DaemonLink again(self_);
    ASSERT_TRUE(again.Attach(dataFile_));
    DaemonSharedBlock::Store(again.Block()->holderProcessId, DeadProcessId());
    ASSERT_TRUE(again.IsOwner());
    again.Detach();
    EXPECT_FALSE(daemontest::ReadBlock(root_, b));
    EXPECT_EQ(daemontest::DiscoveryFiles(root_), std::vector<std::string>());
}

TEST_F(DaemonLinkTest, WithdrawLeavesABlockThatWasTakenOver)
{
    DaemonLink daemon(other_);
    ASSERT_TRUE(daemon.Attach(dataFile_));
    daemon.Publish(40127);
    DaemonLink successor(self_);
    ASSERT_TRUE(successor.Attach(dataFile_));
    successor.Publish(40128);
    daemon.Withdraw();
    daemon.Detach();
    DaemonSharedBlock b{};
    ASSERT_TRUE(daemontest::ReadBlock(root_, b));
    EXPECT_EQ(b.holderProcessId, self_);
    EXPECT_EQ(b.daemonPort, 40128u);
}

TEST_F(DaemonLinkTest, TheHolderThatLeavesRemovesTheObjects)
{
    const std::vector<std::string> none;
    {
        // A client that found no daemon.
        DaemonLink client(self_);
        ASSERT_TRUE(client.Attach(dataFile_));
        ASSERT_FALSE(daemontest::DiscoveryFiles(root_).empty());
        EXPECT_EQ(client.GetPort(), 0u);
        client.Detach();
        EXPECT_EQ(daemontest::DiscoveryFiles(root_), none);
    }
    {
        // A daemon that stops, after a client came and went.
        DaemonLink daemon(other_);
        ASSERT_TRUE(daemon.Attach(dataFile_));
        daemon.Publish(40126);
        DaemonLink client(self_);
        ASSERT_TRUE(client.Attach(dataFile_));
        EXPECT_EQ(client.GetPort(), 40126u);
        client.Detach();
        EXPECT_EQ(daemontest::DiscoveryFiles(root_).size(), 2u);
        daemon.Withdraw();
        EXPECT_EQ(daemontest::DiscoveryFiles(root_), none);
        daemon.Detach();
        EXPECT_EQ(daemontest::DiscoveryFiles(root_), none);
    }
}

TEST_F(DaemonLinkTest, AnAttachmentWhoseObjectsWereRemovedMovesToTheCurrentOnes)
{
    DaemonLink client(self_);
    ASSERT_TRUE(client.Attach(dataFile_));
    // The objects go (as their holder removes them when it leaves) while
    // the client is attached, and a daemon makes a new set and publishes.
    ::shm_unlink(cleanup_.Names().sharedMemoryPath.c_str());
    ::unlink(cleanup_.Names().lockFilePath.c_str());
    DaemonLink daemon(other_);
    ASSERT_TRUE(daemon.Attach(dataFile_));
    daemon.Publish(40131);

    EXPECT_EQ(client.GetPort(), 40131u);
    EXPECT_FALSE(client.IsHolder());
    client.Detach();
    DaemonSharedBlock b{};
    ASSERT_TRUE(daemontest::ReadBlock(root_, b));
    EXPECT_EQ(b.holderProcessId, other_);
    EXPECT_EQ(b.daemonPort, 40131u);
}

TEST_F(DaemonLinkTest, OnlyTheClaimantReleasesTheClaim)
{
    DaemonLink a(self_);
    DaemonLink b(other_);
    ASSERT_TRUE(a.Attach(dataFile_));
    ASSERT_TRUE(b.Attach(dataFile_));
    EXPECT_FALSE(a.IsClaimant());

    DaemonSharedBlock::Store(a.Block()->claimProcessId, other_);
    a.ReleaseClaim();
    EXPECT_TRUE(b.IsClaimant());
    EXPECT_EQ(a.Block()->claimProcessId, other_);

    b.Detach();  // leaving gives a held claim back
    EXPECT_EQ(a.Block()->claimProcessId, DaemonSharedBlock::kNoProcess);
    DaemonSharedBlock::Store(a.Block()->claimProcessId, self_);
    EXPECT_TRUE(a.IsClaimant());
    a.ReleaseClaim();
    EXPECT_FALSE(a.IsClaimant());
}

TEST_F(DaemonLinkTest, TheLockExcludesOtherAttachmentsAndNests)
{
    DaemonLink a(self_);
    DaemonLink b(other_);
    ASSERT_TRUE(a.Attach(dataFile_));
    ASSERT_TRUE(b.Attach(dataFile_));

    a.Lock();
    a.Lock();
    std::atomic<bool> got{false};
    std::thread waiter([&]() {
        b.Lock();
        got = true;
        b.Unlock();
    });
    a.Unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(got.load()) << "an inner Unlock must not let go of the lock";
    a.Unlock();
    waiter.join();
    EXPECT_TRUE(got.load());
}

TEST_F(DaemonLinkTest, TheLockOfAProcessThatDiedIsFree)
{
    DaemonLink link(self_);
    ASSERT_TRUE(link.Attach(dataFile_));
    std::string lockPath = cleanup_.Names().lockFilePath;

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only calls that are safe after fork in a threaded program.
        int fd = ::open(lockPath.c_str(), O_RDWR);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(1);
        char c = 'x';
        if (::write(ready[1], &c, 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);

    std::atomic<bool> got{false};
    std::thread waiter([&]() {
        link.Lock();
        got = true;
        link.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(got.load());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(daemontest::WaitFor([&]() { return got.load(); }));
    waiter.join();
}

}  // namespace
