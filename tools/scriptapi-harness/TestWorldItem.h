// The world item the harness, the tests and the fuzz target load: type
// 'test', it keeps the KUID it was loaded under and its payload bytes, and
// saves them back as they came.
#pragma once

#include <cstdint>
#include <string>

#include "core/streams/TStream.h"
#include "scriptapi/world/WorldItemFactory.h"
#include "scriptapi/world/WorldList.h"
#include "scriptapi/world/WorldListItem.h"

class TestWorldItem : public WorldListItem {
public:
    static constexpr uint32_t kTypeCode = 0x74657374u;  // "test"

    TestWorldItem(const KUID& kuid, std::string payload) : kuid_(kuid), payload_(std::move(payload)) {}

    uint32_t GetTypeCode() override { return kTypeCode; }
    KUID GetKUID() override { return kuid_; }
    void Load(TStream& stream) override { payload_ = ReadRest(stream); }
    void Save(TStream& stream) override
    {
        stream.WriteBytes(payload_.data(), static_cast<uint32_t>(payload_.size()));
    }
    void LoadState(TStream& stream) override { state_ = ReadRest(stream); }
    void SaveState(TStream& stream) override
    {
        stream.WriteBytes(state_.data(), static_cast<uint32_t>(state_.size()));
    }

    const std::string& Payload() const noexcept { return payload_; }
    const std::string& State() const noexcept { return state_; }

    static std::string ReadRest(TStream& stream)
    {
        std::string bytes;
        char chunk[4096];
        for (;;) {
            const uint32_t got = stream.ReadBytes(chunk, sizeof chunk);
            bytes.append(chunk, got);
            if (got < sizeof chunk)
                return bytes;
        }
    }

private:
    KUID kuid_;
    std::string payload_;
    std::string state_;
};

class TestWorldItemFactory : public WorldItemFactory {
public:
    TestWorldItemFactory() : WorldItemFactory(TestWorldItem::kTypeCode, Nyx::PString("test")) {}

    WorldBaseItem* Create(void*, TStream& stream) override
    {
        return new TestWorldItem(WorldList::Current().kuid, TestWorldItem::ReadRest(stream));
    }
};
