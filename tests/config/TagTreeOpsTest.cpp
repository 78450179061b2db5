#include "config/tree/TagTreeOps.h"

#include <gtest/gtest.h>

#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "config/tree/TDBDataTag.h"

namespace {

using Tag = TDBContainerTag;

std::vector<KUID> ToVector(const KUIDRing& ring)
{
    std::vector<KUID> v;
    for (const KUID& k : ring)
        v.push_back(k);
    return v;
}

// A root with containers nested `depth` levels below it; the innermost one
// holds an integer.
ChunkRef Chain(int depth)
{
    ChunkRef root;
    root.EnsureContainer();
    ChunkRef at = root;
    for (int i = 0; i < depth; ++i) {
        ChunkRef next;
        Tag::SetChildContainer(at, "c", next);
        at = next;
    }
    Tag::SetInt(at, "leaf", depth);
    return root;
}

TEST(CloneContainerTest, CloneIsIndependentOfItsSource)
{
    ChunkRef source;
    Tag::SetInt(source, "i", 1);
    Tag::SetString(source, "s", "text");
    Tag::SetNone(source, "n");
    ChunkRef sub;
    Tag::SetChildContainer(source, "sub", sub);
    Tag::SetKUID(sub, "k", KUID(1, 2, 0));

    ChunkRef clone;
    ASSERT_TRUE(clone.CloneContainer(source));
    ASSERT_NE(clone.Get(), source.Get());
    ChunkRef cloneSub = Tag::GetChildContainer(clone, "sub");
    ASSERT_TRUE(cloneSub);
    EXPECT_NE(cloneSub.Get(), sub.Get());
    EXPECT_EQ(Tag::GetInt(clone, "i", 0), 1);
    EXPECT_EQ(Tag::GetString(clone, "s").Str(), "text");
    EXPECT_EQ(Tag::GetChildType(clone, "n"), ACS_TYPE_NONE);
    EXPECT_EQ(clone.ChildCount(), 4u);
    EXPECT_EQ(Tag::GetKUID(cloneSub, "k", KUID::Null), KUID(1, 2, 0));

    Tag::SetInt(clone, "i", 2);
    Tag::SetInt(cloneSub, "extra", 3);
    Tag::SetString(source, "s", "changed");
    EXPECT_EQ(Tag::GetInt(source, "i", 0), 1);
    EXPECT_FALSE(Tag::HasChild(sub, "extra"));
    EXPECT_EQ(Tag::GetString(clone, "s").Str(), "text");

    // A value given anew to a source tag (not through a setter) leaves the
    // clone's bytes intact.
    ChunkRef sourceK = sub->FindChild("k");
    sourceK->SetValue(ACS_TYPE_STRING, ACSRawData::Copy("z", 2));
    EXPECT_EQ(Tag::GetKUID(cloneSub, "k", KUID::Null), KUID(1, 2, 0));

    ChunkRef fromNull;
    EXPECT_TRUE(fromNull.CloneContainer(ChunkRef()));
    ASSERT_TRUE(fromNull);
    EXPECT_EQ(fromNull.ChildCount(), 0u);
}

TEST(CopyChunkTest, ReplacesTheDestinationsChildren)
{
    ChunkRef source;
    Tag::SetInt(source, "a", 1);
    ChunkRef dest;
    Tag::SetInt(dest, "old1", 1);
    Tag::SetInt(dest, "old2", 2);
    ASSERT_TRUE(CopyChunk(dest, source));
    EXPECT_EQ(dest.ChildCount(), 1u);
    EXPECT_EQ(Tag::GetInt(dest, "a", 0), 1);

    // Onto itself: nothing is lost.
    EXPECT_TRUE(CopyChunk(source, source));
    EXPECT_EQ(Tag::GetInt(source, "a", 0), 1);

    // A data source gives a data destination its value.
    ChunkRef value = source->FindChild("a");
    ChunkRef tag(new TDBDataTag);
    ASSERT_TRUE(CopyChunk(tag, value));
    EXPECT_EQ(tag->GetType(), ACS_TYPE_INT);
    EXPECT_EQ(tag->GetDataSize(), 4u);

    EXPECT_FALSE(CopyChunk(ChunkRef(), source));
}

TEST(TreeDepthTest, WalksStopCleanlyPastTheLimit)
{
    ChunkRef fits = Chain(kMaxTreeDepth);
    ChunkRef clone;
    EXPECT_TRUE(clone.CloneContainer(fits));
    ChunkRef at = clone;
    for (int i = 0; i < kMaxTreeDepth; ++i)
        at = Tag::GetChildContainer(at, "c");
    EXPECT_EQ(Tag::GetInt(at, "leaf", -1), kMaxTreeDepth);
    KUIDRing ring;
    EXPECT_TRUE(CollectReferencedKUIDs(fits, ring));

    ChunkRef deep = Chain(kMaxTreeDepth + 1);
    ChunkRef dest;
    Tag::SetInt(dest, "kept", 1);
    EXPECT_FALSE(CopyChunk(dest, deep));
    EXPECT_EQ(Tag::GetInt(dest, "kept", 0), 1);
    EXPECT_FALSE(clone.CloneContainer(deep));
    ASSERT_TRUE(clone);
    EXPECT_EQ(clone.ChildCount(), 0u);
    EXPECT_FALSE(CollectReferencedKUIDs(deep, ring));
}

TEST(TreeDepthTest, ContainerHoldingItselfFailsInsteadOfRecursingForever)
{
    ChunkRef root;
    Tag::SetKUID(root, "k", KUID(1, 2, 0));
    ChunkRef self = root;
    Tag::SetChildContainer(root, "self", self);

    ChunkRef clone;
    EXPECT_FALSE(clone.CloneContainer(root));
    KUIDRing ring;
    EXPECT_FALSE(CollectReferencedKUIDs(root, ring));
    EXPECT_EQ(ToVector(ring), (std::vector<KUID>{KUID(1, 2, 0)}));

    Tag::RemoveChild(root, "self");  // break the cycle so the tree can go
}

TEST(CollectKUIDsTest, ReferencedKUIDsDepthFirstOnceEach)
{
    ChunkRef root;
    Tag::SetString(root, "exact", "<kuid:1:1>");
    Tag::SetString(root, "unclosed", "<kuid:2:2");
    Tag::SetString(root, "prefixed", "see <kuid:3:3>");
    Tag::SetString(root, "two", "<kuid:4:4><kuid:5:5>");
    Tag::SetKUID(root, "k", KUID(6, 6, 2));
    Tag::SetKUID(root, "null", KUID::Null);
    Tag::SetInt(root, "int", 7);
    ChunkRef sub;
    Tag::SetChildContainer(root, "sub", sub);
    Tag::SetKUID(sub, "again", KUID(1, 1, 0));
    Tag::SetString(sub, "new", "<kuid2:8:8:1>");
    Tag::SetKUID(root, "last", KUID(9, 9, 0));

    KUIDRing ring;
    ring.Append(KUID(6, 6, 2));  // already known: not added again
    EXPECT_TRUE(CollectReferencedKUIDs(root, ring));
    EXPECT_EQ(ToVector(ring),
              (std::vector<KUID>{KUID(6, 6, 2), KUID(1, 1, 0), KUID(8, 8, 1), KUID(9, 9, 0)}));
}

TEST(CollectKUIDsTest, DuplicateNamesEachCount)
{
    ChunkRef root;
    root.EnsureContainer();
    for (int c : {10, 11}) {
        uint8_t bytes[8];
        KUID(3, c, 0).ToChunk(bytes);
        root->AddChild("k", root->CreateChunk(ACS_TYPE_KUID, ACSRawData::Copy(bytes, 8)));
    }
    KUIDRing referenced;
    CollectReferencedKUIDs(root, referenced);
    EXPECT_EQ(ToVector(referenced), (std::vector<KUID>{KUID(3, 10, 0), KUID(3, 11, 0)}));
    KUIDRing children;
    CollectChildKUIDs(root, children);
    EXPECT_EQ(ToVector(children), (std::vector<KUID>{KUID(3, 10, 0), KUID(3, 11, 0)}));
}

TEST(CollectKUIDsTest, ChildKUIDsReadEveryChildAsAKUID)
{
    ChunkRef root;
    Tag::SetKUID(root, "k", KUID(1, 2, 0));
    Tag::SetString(root, "text", "<kuid:3:4>");
    Tag::SetInt(root, "int", 42);
    Tag::SetString(root, "words", "hello");
    ChunkRef sub;
    Tag::SetChildContainer(root, "sub", sub);
    Tag::SetKUID(sub, "inner", KUID(5, 6, 0));
    Tag::SetKUID(root, "dup", KUID(1, 2, 0));
    // A KUID tag whose bytes are too short for a KUID names none.
    root->AddChild("short", root->CreateChunk(ACS_TYPE_KUID, ACSRawData::Copy("abcd", 4)));

    KUIDRing ring;
    CollectChildKUIDs(root, ring);
    EXPECT_EQ(ToVector(ring), (std::vector<KUID>{KUID(1, 2, 0), KUID(3, 4, 0), KUID(-1, 42, 127)}));
}

TEST(KUIDListToContainerTest, StoresNonNullEntriesUnderCountingNames)
{
    KUIDRing ring;
    ring.Append(KUID::Null);
    ring.Append(KUID(1, 2, 0));
    ring.Append(KUID::Null);
    ring.Append(KUID(3, 4, 5));
    ChunkRef list = KUIDListToContainer(ring);
    ASSERT_TRUE(list);
    EXPECT_EQ(list.ChildCount(), 2u);
    EXPECT_EQ(Tag::GetKUID(list, "0", KUID::Null), KUID(1, 2, 0));
    EXPECT_EQ(Tag::GetKUID(list, "1", KUID::Null), KUID(3, 4, 5));

    KUIDRing nulls;
    EXPECT_FALSE(KUIDListToContainer(nulls));
    nulls.Append(KUID::Null);
    EXPECT_FALSE(KUIDListToContainer(nulls));
}

}  // namespace
