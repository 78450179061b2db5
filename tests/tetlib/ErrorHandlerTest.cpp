// The error handler's report forms against each repeat case, its echo, and
// the removal of entries; containers and tags known by serial numbers.
#include "tetlib/errors/ErrorHandler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <optional>
#include <string>
#include <vector>

#include "TETLibTestSupport.h"
#include "tetlib/container/Container.h"

namespace {

using TETLib::ContainerSerial;
using TETLib::ErrorHandler;
using TETLib::ErrorMessage;
using TETLib::TagSerial;

constexpr ContainerSerial kC1{101};
constexpr ContainerSerial kC2{102};
constexpr TagSerial kT1{201};
constexpr TagSerial kT2{202};

enum class Form { kContainer, kTag, kPlain };

// One report: its form, severity, text and what it is bound to.
struct Report {
    Form form;
    uint32_t severity;
    const char* text;
    ContainerSerial container = ContainerSerial::kNone;
    TagSerial tag = TagSerial::kNone;
};

bool Send(ErrorHandler& h, const Report& r)
{
    const Nyx::PString t(r.text);
    const bool error = r.severity == ErrorMessage::kError, warning = r.severity == ErrorMessage::kWarning;
    if (r.form == Form::kContainer)
        return error ? h.ReportError(t, r.container) : warning ? h.ReportWarning(t, r.container) : h.ReportMessage(t, r.container);
    if (r.form == Form::kTag)
        return error ? h.ReportError(t, r.tag) : warning ? h.ReportWarning(t, r.tag) : h.ReportMessage(t, r.tag);
    return error ? h.ReportError(t) : warning ? h.ReportWarning(t) : h.ReportMessage(t);
}

class ErrorHandlerTest : public tetlibtest::ValidationDataFixture {
protected:
    ErrorHandler& Handler() { return *ErrorHandler::Instance(); }
};

TEST_F(ErrorHandlerTest, EveryFormRefusesItsOwnRepeatsOnly)
{
    constexpr uint32_t E = ErrorMessage::kError, W = ErrorMessage::kWarning, M = ErrorMessage::kMessage;
    struct Case {
        const char* name;
        Report first;
        Report second;
        bool secondKept;
    };
    const Case cases[] = {
        {"same text, same container", {Form::kContainer, E, "a", kC1}, {Form::kContainer, E, "a", kC1}, false},
        {"same text, other container", {Form::kContainer, E, "a", kC1}, {Form::kContainer, E, "a", kC2}, true},
        {"other text, same container", {Form::kContainer, E, "a", kC1}, {Form::kContainer, E, "b", kC1}, true},
        {"error then warning, same container", {Form::kContainer, E, "a", kC1}, {Form::kContainer, W, "a", kC1}, false},
        {"warning then message, same tag", {Form::kTag, W, "a", {}, kT1}, {Form::kTag, M, "a", {}, kT1}, false},
        {"same text, other tag", {Form::kTag, E, "a", {}, kT1}, {Form::kTag, E, "a", {}, kT2}, true},
        {"plain after container-bound", {Form::kContainer, W, "a", kC1}, {Form::kPlain, E, "a"}, false},
        {"plain after tag-bound", {Form::kTag, W, "a", {}, kT1}, {Form::kPlain, M, "a"}, false},
        {"plain after plain", {Form::kPlain, M, "a"}, {Form::kPlain, M, "a"}, false},
        {"container-bound after plain", {Form::kPlain, E, "a"}, {Form::kContainer, E, "a", kC1}, true},
        {"tag-bound after container-bound", {Form::kContainer, E, "a", kC1}, {Form::kTag, E, "a", {}, kT1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Handler().Clear();
        EXPECT_TRUE(Send(Handler(), c.first));
        EXPECT_EQ(Send(Handler(), c.second), c.secondKept);
        const ErrorHandler::Messages& messages = Handler().GetMessages();
        ASSERT_EQ(messages.size(), c.secondKept ? 2u : 1u);
        const Report& last = c.secondKept ? c.second : c.first;
        EXPECT_STREQ(messages.back()->key.c_str(), last.text);
        EXPECT_EQ(messages.back()->severity, last.severity);
        EXPECT_EQ(messages.back()->container, last.form == Form::kContainer ? last.container : ContainerSerial::kNone);
        EXPECT_EQ(messages.back()->tag, last.form == Form::kTag ? last.tag : TagSerial::kNone);
    }
}

TEST_F(ErrorHandlerTest, EchoPrintsTheLocalisedPrefixAndTheTextOfNewMessagesOnly)
{
    testing::internal::CaptureStdout();
    Handler().ReportError(Nyx::PString("quiet"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    Handler().SetEcho(true);
    testing::internal::CaptureStdout();
    Handler().ReportError(Nyx::PString("$tet_future_asset"), kC1);
    Handler().ReportWarning(Nyx::PString("w"), kT1);
    Handler().ReportMessage(Nyx::PString("m"));
    Handler().ReportMessage(Nyx::PString("m"));  // a repeat prints nothing
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: $tet_future_asset\nWarning: w\nMessage: m\n");
}

TEST_F(ErrorHandlerTest, RemovalTakesTheFirstEntryOfTheIdentityAndKeepsTheOrder)
{
    ErrorHandler& h = Handler();
    h.ReportError(Nyx::PString("c1"), kC1);
    h.ReportError(Nyx::PString("t1"), kT1);
    h.ReportWarning(Nyx::PString("c2"), kC1);
    h.ReportMessage(Nyx::PString("c3"), kC1);
    h.ReportError(Nyx::PString("t2"), kT1);

    h.RemoveContainerEntry(kC1);
    h.RemoveTagEntry(kT2);  // holds nothing
    h.RemoveContainerEntry(ContainerSerial::kNone);
    h.RemoveTagEntry(TagSerial::kNone);
    std::vector<std::string> left;
    for (const auto& m : h.GetMessages())
        left.emplace_back(m->key.View());
    EXPECT_EQ(left, (std::vector<std::string>{"t1", "c2", "c3", "t2"}));

    h.RemoveTagEntry(kT1);
    left.clear();
    for (const auto& m : h.GetMessages())
        left.emplace_back(m->key.View());
    EXPECT_EQ(left, (std::vector<std::string>{"c2", "c3", "t2"}));

    EXPECT_FALSE(h.IsNotReported(Nyx::PString("c3")));
    EXPECT_TRUE(h.IsNotReported(Nyx::PString("c1")));
    auto added = std::make_unique<ErrorMessage>();
    added->key = Nyx::PString("c3");  // kept as it is, repeat or not
    added->severity = ErrorMessage::kError;
    h.AddEntry(std::move(added));
    EXPECT_EQ(h.GetMessages().size(), 4u);
    h.Clear();
    EXPECT_TRUE(h.GetMessages().empty());
}

// Many reports, repeats and removals in random order against a plain list
// that does what the handler promises, also across the handler's closing of
// the gaps that removals leave.
TEST_F(ErrorHandlerTest, ManyMessagesKeepTheirOrderThroughRemovals)
{
    struct Kept {
        std::string text;
        uint64_t container;
        uint64_t tag;
        uint32_t severity;
    };
    std::vector<Kept> model;
    ErrorHandler& h = Handler();
    std::mt19937 random(7);
    const auto sameText = [](const Kept& k, const std::string& t) { return k.text == t; };
    const auto removeFirst = [&](auto bound) {
        for (auto it = model.begin(); it != model.end(); ++it)
            if (bound(*it)) {
                model.erase(it);
                return;
            }
    };
    for (int step = 0; step < 6000; ++step) {
        const std::string text = "m" + std::to_string(random() % 300);
        const uint64_t object = 1 + random() % 60;
        const uint32_t severity = std::vector<uint32_t>{ErrorMessage::kError, ErrorMessage::kWarning,
                                                        ErrorMessage::kMessage}[random() % 3];
        // Phases of mostly reports and of mostly removals.
        const bool removing = (step / 1000) % 2 == 1;
        switch (removing && random() % 4 != 0 ? 6 + random() % 2 : random() % 8) {
        case 0:
        case 1: {
            const bool kept = std::none_of(model.begin(), model.end(), [&](const Kept& k) {
                return sameText(k, text) && k.container == object;
            });
            ASSERT_EQ(Send(h, {Form::kContainer, severity, text.c_str(), ContainerSerial{object}}), kept) << step;
            if (kept)
                model.push_back({text, object, 0, severity});
            break;
        }
        case 2:
        case 3: {
            const bool kept = std::none_of(model.begin(), model.end(),
                                           [&](const Kept& k) { return sameText(k, text) && k.tag == object; });
            ASSERT_EQ(Send(h, {Form::kTag, severity, text.c_str(), {}, TagSerial{object}}), kept) << step;
            if (kept)
                model.push_back({text, 0, object, severity});
            break;
        }
        case 4: {
            const bool kept =
                std::none_of(model.begin(), model.end(), [&](const Kept& k) { return sameText(k, text); });
            ASSERT_EQ(Send(h, {Form::kPlain, severity, text.c_str()}), kept) << step;
            if (kept)
                model.push_back({text, 0, 0, severity});
            break;
        }
        case 5: {
            // Bound to both, as only a ready-made entry can be.
            auto both = std::make_unique<ErrorMessage>();
            both->key = Nyx::PString(text);
            both->container = ContainerSerial{object};
            both->tag = TagSerial{object};
            both->severity = severity;
            h.AddEntry(std::move(both));
            model.push_back({text, object, object, severity});
            break;
        }
        case 6:
            h.RemoveTagEntry(TagSerial{object});
            removeFirst([&](const Kept& k) { return k.tag == object; });
            break;
        default:
            h.RemoveContainerEntry(ContainerSerial{object});
            removeFirst([&](const Kept& k) { return k.container == object; });
            break;
        }
        if (step % 97 != 96)
            continue;
        const ErrorHandler::Messages& messages = h.GetMessages();
        ASSERT_EQ(messages.size(), model.size()) << step;
        for (size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(messages[i]->key.Str(), model[i].text) << step << " " << i;
            ASSERT_EQ(static_cast<uint64_t>(messages[i]->container), model[i].container) << step << " " << i;
            ASSERT_EQ(static_cast<uint64_t>(messages[i]->tag), model[i].tag) << step << " " << i;
            ASSERT_EQ(messages[i]->severity, model[i].severity) << step << " " << i;
        }
        for (int t = 0; t < 300; ++t) {
            const std::string probe = "m" + std::to_string(t);
            ASSERT_EQ(h.IsNotReported(Nyx::PString(probe)),
                      std::none_of(model.begin(), model.end(), [&](const Kept& k) { return sameText(k, probe); }))
                << step << " " << probe;
        }
    }
}

// A container that leaves an entry behind (removal takes one per
// container) must not hand its repeats on to a new container made in the
// same place.
TEST_F(ErrorHandlerTest, ANewContainerAtAReusedAddressInheritsNoRepeat)
{
    alignas(TETLib::Container) unsigned char storage[sizeof(TETLib::Container)];
    auto* first = new (storage) TETLib::Container;
    ASSERT_TRUE(Handler().ReportError(Nyx::PString("one"), first->Serial()));
    ASSERT_TRUE(Handler().ReportError(Nyx::PString("two"), first->Serial()));
    first->~Container();
    ASSERT_EQ(Handler().GetMessages().size(), 1u);

    auto* second = new (storage) TETLib::Container;
    ASSERT_EQ(static_cast<void*>(second), static_cast<void*>(first));
    EXPECT_NE(second->Serial(), ContainerSerial::kNone);
    EXPECT_TRUE(Handler().ReportError(Nyx::PString("two"), second->Serial()));
    second->~Container();
}

}  // namespace
