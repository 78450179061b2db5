#include "tetlib/errors/ErrorHandler.h"

#include <cstdio>
#include <string>

#include "config/results/InterfaceTextDB.h"

namespace TETLib {

namespace {

ErrorHandler* g_errorHandler = nullptr;

constexpr uint32_t kNoPlace = UINT32_MAX;

const Nyx::PString& PrefixKey(uint32_t severity)
{
    static const Nyx::PString* const keys = new Nyx::PString[3]{"$tet_eh_message", "$tet_eh_warning", "$tet_eh_error"};
    switch (severity) {
    case ErrorMessage::kError:
        return keys[2];
    case ErrorMessage::kWarning:
        return keys[1];
    default:
        return keys[0];
    }
}

}  // namespace

bool ErrorHandler::Create()
{
    // A second Create must not lose the first object.
    if (!g_errorHandler)
        g_errorHandler = new ErrorHandler;
    return true;
}

void ErrorHandler::Destroy()
{
    if (!g_errorHandler)
        return;
    g_errorHandler->Clear();
    delete g_errorHandler;
    g_errorHandler = nullptr;
}

ErrorHandler* ErrorHandler::Instance() { return g_errorHandler; }

ErrorHandler::~ErrorHandler() = default;

void ErrorHandler::Clear()
{
    entries_.clear();
    gaps_ = 0;
    texts_.Clear();
    containerTexts_.Clear();
    tagTexts_.Clear();
    containerChains_ = Chains();
    tagChains_ = Chains();
}

bool ErrorHandler::Report(const Nyx::PString& text, Binding binding, ContainerSerial container, TagSerial tag,
                          uint32_t severity)
{
    switch (binding) {
    case Binding::kAny:
        if (texts_.Contains(text.Identity()))
            return false;
        break;
    case Binding::kContainer:
        if (Holds(text, static_cast<uint64_t>(container), true))
            return false;
        break;
    case Binding::kTag:
        if (Holds(text, static_cast<uint64_t>(tag), false))
            return false;
        break;
    }
    if (echo_) {
        std::string line(InterfaceTextDB::Instance().GetString(PrefixKey(severity), true).View());
        line.append(text.View());
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    auto message = std::make_unique<ErrorMessage>();
    message->container = container;
    message->tag = tag;
    message->key = text;
    message->severity = severity;
    Keep(std::move(message));
    return true;
}

void ErrorHandler::Keep(std::unique_ptr<ErrorMessage> message)
{
    const uint32_t place = uint32_t(entries_.size());
    entries_.push_back(std::move(message));
    const ErrorMessage& kept = *entries_.back();
    Count(kept, 1);
    Link(containerChains_, static_cast<uint64_t>(kept.container), place);
    Link(tagChains_, static_cast<uint64_t>(kept.tag), place);
}

void ErrorHandler::Link(Chains& chains, uint64_t serial, uint32_t place)
{
    chains.next.push_back(kNoPlace);
    if (serial == 0)
        return;
    auto [chain, added] = chains.bySerial.Insert(serial);
    if (added)
        chain->first = place;
    else
        chains.next[chain->last] = place;
    chain->last = place;
}

namespace {

template <class Map, class Key>
void Step(Map& counts, const Key& key, int step)
{
    if (step > 0) {
        ++counts[key];
        return;
    }
    uint32_t* count = counts.Find(key);
    if (count && --*count == 0)
        counts.Erase(key);
}

}  // namespace

bool ErrorHandler::Holds(const Nyx::PString& text, uint64_t serial, bool container) const
{
    const TextUse* use = texts_.Find(text.Identity());
    if (!use)
        return false;
    if (!use->shared)
        return (container ? use->container : use->tag) == serial;
    return (container ? containerTexts_ : tagTexts_).Contains(BoundText{text.Identity(), serial});
}

void ErrorHandler::Count(const ErrorMessage& message, int step)
{
    // Every message counts under both of its bindings, as the repeat test
    // of each report form compares them; most texts have one message,
    // which its entry holds.
    const void* text = message.key.Identity();
    const uint64_t container = static_cast<uint64_t>(message.container);
    const uint64_t tag = static_cast<uint64_t>(message.tag);
    if (step > 0) {
        auto [use, added] = texts_.Insert(text);
        if (added) {
            *use = TextUse{1, false, container, tag};
            return;
        }
        if (!use->shared) {
            use->shared = true;
            const TextUse first = *use;
            Step(containerTexts_, BoundText{text, first.container}, 1);
            Step(tagTexts_, BoundText{text, first.tag}, 1);
            use = texts_.Find(text);
        }
        ++use->count;
        Step(containerTexts_, BoundText{text, container}, 1);
        Step(tagTexts_, BoundText{text, tag}, 1);
        return;
    }
    TextUse* use = texts_.Find(text);
    if (!use)
        return;
    if (use->shared) {
        Step(containerTexts_, BoundText{text, container}, -1);
        Step(tagTexts_, BoundText{text, tag}, -1);
    }
    if (--use->count == 0)
        texts_.Erase(text);
}

void ErrorHandler::RemoveFirst(Chains& chains, uint64_t serial)
{
    Chain* chain = chains.bySerial.Find(serial);
    if (!chain)
        return;
    // A message bound to both a container and a tag may have gone through
    // the other binding and left a gap.
    uint32_t place = chain->first;
    while (place != kNoPlace && !entries_[place])
        place = chains.next[place];
    if (place == kNoPlace) {
        chains.bySerial.Erase(serial);
        return;
    }
    if (place == chain->last)
        chains.bySerial.Erase(serial);
    else
        chain->first = chains.next[place];
    std::unique_ptr<ErrorMessage> gone = std::move(entries_[place]);
    Count(*gone, -1);
    ++gaps_;
    if (gaps_ > 64 && gaps_ * 2 > entries_.size())
        Compact();
}

void ErrorHandler::Compact() const
{
    size_t kept = 0;
    for (size_t place = 0; place < entries_.size(); ++place)
        if (entries_[place]) {
            if (place != kept)
                entries_[kept] = std::move(entries_[place]);
            ++kept;
        }
    entries_.resize(kept);
    gaps_ = 0;
    containerChains_ = Chains();
    tagChains_ = Chains();
    containerChains_.next.reserve(kept);
    tagChains_.next.reserve(kept);
    for (uint32_t place = 0; place < kept; ++place) {
        Link(containerChains_, static_cast<uint64_t>(entries_[place]->container), place);
        Link(tagChains_, static_cast<uint64_t>(entries_[place]->tag), place);
    }
}

bool ErrorHandler::ReportError(const Nyx::PString& text, ContainerSerial container)
{
    return Report(text, Binding::kContainer, container, TagSerial::kNone, ErrorMessage::kError);
}
bool ErrorHandler::ReportError(const Nyx::PString& text, TagSerial tag)
{
    return Report(text, Binding::kTag, ContainerSerial::kNone, tag, ErrorMessage::kError);
}
bool ErrorHandler::ReportError(const Nyx::PString& text)
{
    return Report(text, Binding::kAny, ContainerSerial::kNone, TagSerial::kNone, ErrorMessage::kError);
}
bool ErrorHandler::ReportWarning(const Nyx::PString& text, ContainerSerial container)
{
    return Report(text, Binding::kContainer, container, TagSerial::kNone, ErrorMessage::kWarning);
}
bool ErrorHandler::ReportWarning(const Nyx::PString& text, TagSerial tag)
{
    return Report(text, Binding::kTag, ContainerSerial::kNone, tag, ErrorMessage::kWarning);
}
bool ErrorHandler::ReportWarning(const Nyx::PString& text)
{
    return Report(text, Binding::kAny, ContainerSerial::kNone, TagSerial::kNone, ErrorMessage::kWarning);
}
bool ErrorHandler::ReportMessage(const Nyx::PString& text, ContainerSerial container)
{
    return Report(text, Binding::kContainer, container, TagSerial::kNone, ErrorMessage::kMessage);
}
bool ErrorHandler::ReportMessage(const Nyx::PString& text, TagSerial tag)
{
    return Report(text, Binding::kTag, ContainerSerial::kNone, tag, ErrorMessage::kMessage);
}
bool ErrorHandler::ReportMessage(const Nyx::PString& text)
{
    return Report(text, Binding::kAny, ContainerSerial::kNone, TagSerial::kNone, ErrorMessage::kMessage);
}

bool ErrorHandler::CanReport(const Nyx::PString&, uint64_t) { return true; }
bool ErrorHandler::CanReportType(const Nyx::PString&, uint64_t) { return true; }

bool ErrorHandler::IsNotReported(const Nyx::PString& text) const { return !texts_.Contains(text.Identity()); }

void ErrorHandler::AddEntry(std::unique_ptr<ErrorMessage> message)
{
    if (message)
        Keep(std::move(message));
}

void ErrorHandler::SetEcho(bool on) { echo_ = on; }

void ErrorHandler::RemoveTagEntry(TagSerial tag)
{
    if (tag != TagSerial::kNone)
        RemoveFirst(tagChains_, static_cast<uint64_t>(tag));
}

void ErrorHandler::RemoveContainerEntry(ContainerSerial container)
{
    if (container != ContainerSerial::kNone)
        RemoveFirst(containerChains_, static_cast<uint64_t>(container));
}

const ErrorHandler::Messages& ErrorHandler::GetMessages() const
{
    if (gaps_ != 0)
        Compact();
    return entries_;
}

}  // namespace TETLib
