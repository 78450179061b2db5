#include "config/results/KestroProperty.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <vector>

#include "core/streams/TStream.h"

namespace {

std::vector<uint8_t> Bytes(TBuffer& b)
{
    const Nyx::DynamicBuffer* d = b.GetBuffer();
    return std::vector<uint8_t>(d->Data(), d->Data() + d->DataLength());
}

void Append(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes)
{
    out.insert(out.end(), bytes);
}

// Counts destructions so that tests can see when the last release happened.
class TrackedProperty : public KestroPropertyRefCounted {
public:
    explicit TrackedProperty(int* destroyed) : KestroPropertyRefCounted("tracked", 3), destroyed_(destroyed) {}
    ~TrackedProperty() override { ++*destroyed_; }

private:
    int* destroyed_;
};

TEST(KestroPropertyTest, AssetIDText)
{
    KestroPropertyAssetID p("asset", 5, 100, 0);
    EXPECT_EQ(p.GetKind(), 8u);
    Nyx::PString text;
    p.ToText(text);
    EXPECT_EQ(text.Str(), "<kuid:5:100>");

    // Lenient parse: a bare content id is accepted, rubbish gives the null KUID.
    p.FromText("12345");
    EXPECT_EQ(p.GetKUID(), KUID(-1, 12345, 127));
    p.FromText("<kuid2:1:2:3");
    EXPECT_EQ(p.GetKUID(), KUID(1, 2, 3));
    p.FromText("not a kuid");
    EXPECT_TRUE(p.GetKUID().IsNull());
    p.ToText(text);
    EXPECT_EQ(text.Str(), "<NULL>");
}

TEST(KestroPropertyTest, ReferenceCounting)
{
    int destroyed = 0;
    auto* p = new TrackedProperty(&destroyed);
    EXPECT_EQ(p->RefCount(), 0);
    {
        PropertyRef a(p);
        EXPECT_EQ(p->RefCount(), 1);
        PropertyRef b(a);
        PropertyRef c;
        c = b;
        EXPECT_EQ(p->RefCount(), 3);
        PropertyRef& same = c;
        c = same;
        a.Reset(p);
        EXPECT_EQ(p->RefCount(), 3);
        PropertyRef d(std::move(b));
        EXPECT_FALSE(b);
        EXPECT_EQ(p->RefCount(), 3);
        c.Reset();
        EXPECT_EQ(p->RefCount(), 2);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);

    // The base text of a property without a value is empty; so is a null reference's.
    PropertyRef t(new TrackedProperty(&destroyed));
    EXPECT_TRUE(t.ToString().Empty());
    EXPECT_TRUE(PropertyRef().ToString().Empty());
}

TEST(KestroPropertyTest, RecordBytes)
{
    TBuffer stream;
    WriteProperty(stream, PropertyRef());
    EXPECT_EQ(Bytes(stream), (std::vector<uint8_t>{0, 0, 0, 0}));

    TBuffer stream2;
    WriteProperty(stream2, PropertyRef(new KestroPropertyAssetID("k", 5, 100, 0)));
    std::vector<uint8_t> expected;
    Append(expected, {8, 0, 0, 0, 2, 0, 0, 0, 'k', 0, 13, 0, 0, 0});
    for (char c : std::string_view("<kuid:5:100>"))
        expected.push_back(static_cast<uint8_t>(c));
    expected.push_back(0);
    EXPECT_EQ(Bytes(stream2), expected);
}

TEST(KestroPropertyTest, RecordsReadBack)
{
    const KUID kuids[] = {{5, 100, 0}, {5, 100, 3}, {-5, 100, 127}, {7, -100, 0}, {-1, 12345, 127}, KUID::Null};
    TBuffer stream;
    WriteProperty(stream, PropertyRef());
    for (const KUID& k : kuids)
        WriteProperty(stream, PropertyRef(new KestroPropertyAssetID("k", k)));
    // A record of another kind between two good ones.
    stream.WriteInt32(3u);
    stream.WritePString("other");
    stream.WritePString("value");
    WriteProperty(stream, PropertyRef(new KestroPropertyAssetID("after", 1, 2, 3)));
    stream.Rewind();

    PropertyRef ref;
    ReadProperty(stream, ref);
    EXPECT_FALSE(ref);
    for (const KUID& k : kuids) {
        ReadProperty(stream, ref);
        ASSERT_TRUE(ref);
        EXPECT_EQ(ref->GetKind(), 8u);
        EXPECT_EQ(ref->GetName(), Nyx::PString("k"));
        EXPECT_EQ(static_cast<KestroPropertyAssetID*>(ref.Get())->GetKUID(), k);
    }
    ReadProperty(stream, ref);
    EXPECT_FALSE(ref);
    ReadProperty(stream, ref);
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->GetName(), Nyx::PString("after"));
    EXPECT_EQ(ref.ToString().Str(), "<kuid2:1:2:3>");
    EXPECT_EQ(stream.GetError(), 0u);

    // Past the end: a short kind reads as null and leaves code 4.
    ReadProperty(stream, ref);
    EXPECT_FALSE(ref);
    EXPECT_EQ(stream.GetError(), 4u);
}

TEST(KestroPropertyTest, ReadReleasesHeldReference)
{
    int destroyed = 0;
    PropertyRef ref(new TrackedProperty(&destroyed));
    TBuffer stream;
    WriteProperty(stream, PropertyRef());
    stream.Rewind();
    ReadProperty(stream, ref);
    EXPECT_FALSE(ref);
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
