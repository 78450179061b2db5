#include "tetlib/errors/ErrorHandler.h"

#include <cstdio>
#include <string>

#include "config/results/InterfaceTextDB.h"

namespace TETLib {

namespace {

ErrorHandler* g_errorHandler = nullptr;

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

void ErrorHandler::Clear() { entries_.clear(); }

bool ErrorHandler::Report(const Nyx::PString& text, Binding binding, ContainerSerial container, TagSerial tag,
                          uint32_t severity)
{
    for (const auto& entry : entries_) {
        if (entry->key != text)
            continue;
        if (binding == Binding::kAny || (binding == Binding::kContainer && entry->container == container)
            || (binding == Binding::kTag && entry->tag == tag))
            return false;
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
    entries_.push_back(std::move(message));
    return true;
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

bool ErrorHandler::IsNotReported(const Nyx::PString& text) const
{
    for (const auto& entry : entries_)
        if (entry->key == text)
            return false;
    return true;
}

void ErrorHandler::AddEntry(std::unique_ptr<ErrorMessage> message)
{
    if (message)
        entries_.push_back(std::move(message));
}

void ErrorHandler::SetEcho(bool on) { echo_ = on; }

void ErrorHandler::RemoveTagEntry(TagSerial tag)
{
    if (tag == TagSerial::kNone)
        return;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if ((*it)->tag == tag) {
            entries_.erase(it);
            return;
        }
    }
}

void ErrorHandler::RemoveContainerEntry(ContainerSerial container)
{
    if (container == ContainerSerial::kNone)
        return;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if ((*it)->container == container) {
            entries_.erase(it);
            return;
        }
    }
}

const ErrorHandler::Messages& ErrorHandler::GetMessages() const { return entries_; }

}  // namespace TETLib
