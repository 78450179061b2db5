#include "config/tree/ACSChunk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "config/tree/ACSRawDataCore.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TDBDataTag.h"

namespace {

// A read-only chunk whose bytes live in the chunk itself, as a view into a
// loaded file does; it counts its destruction.
class FixedBytesChunk : public ACSChunk {
public:
    explicit FixedBytesChunk(int* destroyed) : destroyed_(destroyed) { std::memcpy(bytes_, "view", 5); }
    ~FixedBytesChunk() override { ++*destroyed_; }
    const uint8_t* GetData() const override { return bytes_; }
    uint32_t GetDataSize() const override { return 5; }
    ACSValueType GetType() const override { return ACS_TYPE_STRING; }

private:
    uint8_t bytes_[5];
    int* destroyed_;
};

TEST(ChunkRefTest, SharedEmptyStandsForEveryMissingChild)
{
    ACSChunk* empty = ACSChunk::SharedEmpty();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(ACSChunk::SharedEmpty(), empty);
    EXPECT_EQ(empty->GetType(), ACS_TYPE_NONE);

    Nyx::PString name("x");
    EXPECT_EQ(empty->FindChild(name).Get(), empty);
    EXPECT_EQ(empty->FindChildConst(name).Get(), empty);
    ChunkRef child;
    Nyx::PString childName("stale");
    EXPECT_FALSE(empty->GetChildAt(0, childName, child));
    EXPECT_TRUE(childName.Empty());
    EXPECT_EQ(child.Get(), empty);
    EXPECT_EQ(empty->CreateChunk(ACS_TYPE_INT, ACSRawData()).Get(), empty);

    // The base operations take references over and leave the empty chunk
    // as it was.
    ChunkRef tag(new TDBDataTag);
    int32_t before = tag->RefCount();
    empty->AddChild(name, tag);
    empty->RemoveChild(tag);
    empty->SwapChildren(tag, tag);
    EXPECT_EQ(tag->RefCount(), before);
    EXPECT_EQ(empty->GetChildCount(), 0u);
}

TEST(ChunkRefTest, CountsFollowCopiesAssignmentsAndReleases)
{
    ChunkRef a(new TDBContainerTag);
    EXPECT_EQ(a->RefCount(), 1);
    {
        ChunkRef b = a;
        EXPECT_EQ(a->RefCount(), 2);
        ChunkRef c;
        c.Assign(b);
        EXPECT_EQ(a->RefCount(), 3);
        const ChunkRef& same = c;
        c = same;  // assigning a reference to itself keeps the chunk
        EXPECT_EQ(a->RefCount(), 3);
        c.Release();
        EXPECT_FALSE(c);
        EXPECT_EQ(a->RefCount(), 2);
    }
    EXPECT_EQ(a->RefCount(), 1);

    // Assigning a child over the reference that holds its parent: the new
    // reference is taken before the parent (and with it the child) goes.
    ChunkRef child;
    TDBContainerTag::SetChildContainer(a, "c", child);
    child.Release();
    ChunkRef onlyParent = a;
    a.Release();
    onlyParent = TDBContainerTag::GetChildContainer(onlyParent, "c");
    ASSERT_TRUE(onlyParent);
    EXPECT_EQ(onlyParent->GetType(), ACS_TYPE_CONTAINER);
    EXPECT_EQ(onlyParent->RefCount(), 1);
}

TEST(ChunkRefTest, TypedAndRealTests)
{
    ChunkRef none;
    ChunkRef empty = ChunkRef::SharedEmpty();
    ChunkRef untyped(new TDBDataTag);
    ChunkRef typed(new TDBDataTag);
    typed->SetValue(ACS_TYPE_INT, ACSRawData::Copy("\1\0\0\0", 4));
    ChunkRef container(new TDBContainerTag);

    struct Case {
        const ChunkRef* ref;
        bool nullOrUntyped;
        bool real;
        bool taken;
    } cases[] = {
        {&none, true, false, false},      {&empty, true, false, false},   {&untyped, true, true, false},
        {&typed, false, true, true},      {&container, false, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.ref->IsNullOrUntyped(), c.nullOrUntyped);
        EXPECT_EQ(c.ref->IsReal(), c.real);
        ChunkRef out(new TDBContainerTag);
        EXPECT_EQ(out.TakeIfTyped(*c.ref), c.taken);
        EXPECT_EQ(out.Get(), c.taken ? c.ref->Get() : nullptr);
    }
}

TEST(ChunkRefTest, EnsureContainerNeverReplaces)
{
    ChunkRef ref;
    EXPECT_EQ(ref.ChildCount(), 0u);
    ref.EnsureContainer();
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->GetType(), ACS_TYPE_CONTAINER);
    ACSChunk* first = ref.Get();
    ref.EnsureContainer();
    EXPECT_EQ(ref.Get(), first);

    ChunkRef tag(new TDBDataTag);
    tag.EnsureContainer();
    EXPECT_EQ(tag->GetType(), ACS_TYPE_NONE);

    ChunkRef source;
    ChunkRef copy = ChunkRef::CopyEnsured(source);
    ASSERT_TRUE(source);
    EXPECT_EQ(copy.Get(), source.Get());
}

TEST(ACSRawDataTest, FormsGiveNullForNoBytes)
{
    EXPECT_FALSE(ACSRawData::Copy("x", 0));
    EXPECT_FALSE(ACSRawData::Copy(nullptr, 4));
    EXPECT_FALSE(ACSRawData::Borrow("x", 0, nullptr));
    EXPECT_FALSE(ACSRawData::Adopt(nullptr, 4));
    EXPECT_FALSE(ACSRawData::Adopt(std::malloc(4), 0));  // freed, not leaked
    EXPECT_FALSE(ACSRawData::FromChunk(ChunkRef()));
    EXPECT_FALSE(ACSRawData::FromChunk(ChunkRef::SharedEmpty()));

    ACSRawData copy = ACSRawData::Copy("abc", 3);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy.Size(), 3u);
    EXPECT_TRUE(copy.Get()->Owns());
    EXPECT_EQ(std::memcmp(copy.Data(), "abc", 3), 0);

    void* block = std::malloc(2);
    ACSRawData adopted = ACSRawData::Adopt(block, 2);
    EXPECT_EQ(adopted.Data(), block);
    EXPECT_TRUE(adopted.Get()->Owns());
}

TEST(ACSRawDataTest, BorrowedBytesOutliveTheCallersReference)
{
    int destroyed = 0;
    ChunkRef view(new FixedBytesChunk(&destroyed));
    ACSRawData bytes = ACSRawData::FromChunk(view);
    ASSERT_TRUE(bytes);
    EXPECT_FALSE(bytes.Get()->Owns());
    EXPECT_EQ(bytes.Data(), view->GetData());
    view.Release();
    EXPECT_EQ(destroyed, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.Data()), "view");
    bytes.Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(ACSRawDataTest, ValueTakenFromATagSurvivesTheTagsNextValue)
{
    ChunkRef tag(new TDBDataTag);
    tag->SetValue(ACS_TYPE_STRING, ACSRawData::Copy("old", 4));
    ACSRawData taken = ACSRawData::FromChunk(tag);
    tag->SetValue(ACS_TYPE_STRING, ACSRawData::Copy("new", 4));
    ASSERT_EQ(taken.Size(), 4u);
    EXPECT_STREQ(reinterpret_cast<const char*>(taken.Data()), "old");
}

}  // namespace
