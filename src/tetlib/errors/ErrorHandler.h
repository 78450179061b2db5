// The validation library's message collector: every check reports what it
// finds here, as a finished text with a severity, bound to a container, to
// a tag or to nothing. Repeats are refused; each new message can be echoed
// to standard output. After a step, the validation steps copy the warnings
// and errors into the caller's results log.
//
// One process-wide instance, made by start-up before the data manager and
// destroyed by shut-down after it. It takes no lock: validations run one at
// a time.
//
// A config of many tags can bring many messages, and every tag and
// container takes its message back when it goes: the repeat test and the
// removals find their messages through indexes, and a removal leaves a gap
// that is closed once gaps abound or the messages are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/containers/FlatHashMap.h"
#include "nyx/base/PString.h"
#include "tetlib/errors/ErrorMessage.h"
#include "tetlib/errors/ObjectSerial.h"

namespace TETLib {

class ErrorHandler {
public:
    using Messages = std::vector<std::unique_ptr<ErrorMessage>>;

    // Makes the instance (echo off, no messages) unless there is one;
    // true.
    static bool Create();
    // Clears and deletes the instance, when there is one.
    static void Destroy();
    // Null outside Create .. Destroy.
    static ErrorHandler* Instance();

    ErrorHandler(const ErrorHandler&) = delete;
    ErrorHandler& operator=(const ErrorHandler&) = delete;
    virtual ~ErrorHandler();

    // Drops every message.
    virtual void Clear();

    // Each report is refused (false, nothing printed or kept) when it
    // repeats one already kept: in the container form, a message of the
    // same text bound to the same container; in the tag form, the same for
    // the tag; in the plain form, any message of the same text, whatever it
    // is bound to. Severity plays no part in the test.
    virtual bool ReportError(const Nyx::PString& text, ContainerSerial container);
    virtual bool ReportError(const Nyx::PString& text, TagSerial tag);
    virtual bool ReportError(const Nyx::PString& text);
    virtual bool ReportWarning(const Nyx::PString& text, ContainerSerial container);
    virtual bool ReportWarning(const Nyx::PString& text, TagSerial tag);
    virtual bool ReportWarning(const Nyx::PString& text);
    virtual bool ReportMessage(const Nyx::PString& text, ContainerSerial container);
    virtual bool ReportMessage(const Nyx::PString& text, TagSerial tag);
    virtual bool ReportMessage(const Nyx::PString& text);

    // Asked by the checks before they report or trace; both keep nothing
    // and say yes. A handler made for a special purpose may filter here.
    virtual bool CanReport(const Nyx::PString& text, uint64_t object);
    virtual bool CanReportType(const Nyx::PString& text, uint64_t object);
    // Whether the two above look at their texts at all. This handler does
    // not, so the checks need not make them; one that filters says yes.
    virtual bool TakesTraces() const { return false; }

    // False when any kept message has this text.
    virtual bool IsNotReported(const Nyx::PString& text) const;
    // Keeps a ready-made message as it is (no repeat test, no echo).
    virtual void AddEntry(std::unique_ptr<ErrorMessage> message);
    virtual void SetEcho(bool on);
    bool GetEcho() const noexcept { return echo_; }
    // Drop the first message bound to the tag (or container); the others
    // stay in order. None is ignored.
    virtual void RemoveTagEntry(TagSerial tag);
    virtual void RemoveContainerEntry(ContainerSerial container);
    // In the order the messages were kept, without gaps.
    virtual const Messages& GetMessages() const;

protected:
    ErrorHandler() = default;

private:
    enum class Binding { kContainer, kTag, kAny };

    // A text (by the identity of its interned node, which the messages
    // keep alive) bound to one container or tag (by serial; 0 for none).
    struct BoundText {
        const void* text = nullptr;
        uint64_t serial = 0;
        bool operator==(const BoundText& other) const noexcept
        {
            return text == other.text && serial == other.serial;
        }
    };
    struct BoundTextHash {
        size_t operator()(const BoundText& b) const noexcept
        {
            return std::hash<const void*>()(b.text) ^ size_t(b.serial * 0xC2B2AE3D27D4EB4Fu);
        }
    };
    // The messages of one container or tag, as a chain through `next`:
    // from the first still standing (or a gap before it) to the last.
    // Places are 32-bit: no validation comes near 2^32 messages.
    struct Chain {
        uint32_t first = 0;
        uint32_t last = 0;
    };
    struct Chains {
        FlatHashMap<uint64_t, Chain> bySerial;
        // For each message, the next of the same container (or tag).
        std::vector<uint32_t> next;
    };

    bool Report(const Nyx::PString& text, Binding binding, ContainerSerial container, TagSerial tag,
                uint32_t severity);
    void Keep(std::unique_ptr<ErrorMessage> message);
    // Counts the message in (step 1) or out (step -1) of the repeat test.
    void Count(const ErrorMessage& message, int step);
    // Whether a message of the text is bound to the container (or tag).
    bool Holds(const Nyx::PString& text, uint64_t serial, bool container) const;
    static void Link(Chains& chains, uint64_t serial, uint32_t place);
    // Leaves a gap for the first message of the serial still standing.
    void RemoveFirst(Chains& chains, uint64_t serial);
    // Closes the gaps and links the chains afresh.
    void Compact() const;

    bool echo_ = false;
    // Gaps (null) where messages were removed, until compacted.
    mutable Messages entries_;
    mutable size_t gaps_ = 0;
    // The messages of each text: how many, and while there is only the
    // one, what it is bound to. A text that has had more than one message
    // counts its bindings in the two maps below instead, the rest alone.
    struct TextUse {
        uint32_t count = 0;
        bool shared = false;
        uint64_t container = 0;
        uint64_t tag = 0;
    };
    FlatHashMap<const void*, TextUse> texts_;
    FlatHashMap<BoundText, uint32_t, BoundTextHash> containerTexts_;
    FlatHashMap<BoundText, uint32_t, BoundTextHash> tagTexts_;
    mutable Chains containerChains_;
    mutable Chains tagChains_;
};

}  // namespace TETLib
