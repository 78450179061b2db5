#include "nyx/Plugin.h"

#include <algorithm>
#include <mutex>
#include <strings.h>
#include <vector>

namespace Nyx {

namespace {

struct Registry {
    std::mutex lock;
    std::vector<PluginType*> types;
};

// Never destroyed: types enrolled by static initialisers may outlive any
// static registry.
Registry& TheRegistry()
{
    static Registry* registry = new Registry;
    return *registry;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The engine's own bitmap type. Held for the life of the process by the
// reference taken here.
struct EngineTypes {
    EngineTypes()
    {
        auto* bitmap = new PluginType(PString("bmp"), UId(), UId(kResourceTypeFamily));
        bitmap->AddReference();
    }
};
[[maybe_unused]] const EngineTypes g_engineTypes;

}  // namespace

UId::UId(std::string_view text) noexcept
{
    static constexpr size_t kGroups[] = {8, 4, 4, 4, 12};
    std::array<uint8_t, 16> bytes{};
    size_t pos = 0;
    size_t out = 0;
    for (size_t g = 0; g < 5; ++g) {
        if (g > 0) {
            if (pos >= text.size() || text[pos] != '-')
                return;
            ++pos;
        }
        for (size_t i = 0; i < kGroups[g]; i += 2) {
            if (pos + 1 >= text.size())
                return;
            int hi = HexValue(text[pos]);
            int lo = HexValue(text[pos + 1]);
            if (hi < 0 || lo < 0)
                return;
            bytes[out++] = static_cast<uint8_t>(hi << 4 | lo);
            pos += 2;
        }
    }
    if (pos != text.size())
        return;
    bytes_ = bytes;
}

bool UId::IsNull() const noexcept
{
    return std::all_of(bytes_.begin(), bytes_.end(), [](uint8_t b) { return b == 0; });
}

PluginType::PluginType(const PString& name, const UId& typeId, const UId& family)
    : name_(name), typeId_(typeId), family_(family)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    registry.types.push_back(this);
}

PluginType::~PluginType()
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    auto it = std::find(registry.types.begin(), registry.types.end(), this);
    if (it != registry.types.end())
        registry.types.erase(it);
}

PluginType* PluginBase::LookupPluginType(const UId& family, const PString& name)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    for (PluginType* type : registry.types) {
        if (type->GetFamily() == family && type->GetName().Length() == name.Length() &&
            ::strcasecmp(type->GetName().c_str(), name.c_str()) == 0) {
            type->AddReference();
            return type;
        }
    }
    return nullptr;
}

std::vector<PluginType*> PluginBase::ListPluginTypes(const UId& family)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    std::vector<PluginType*> out;
    for (PluginType* type : registry.types) {
        if (type->GetFamily() == family) {
            type->AddReference();
            out.push_back(type);
        }
    }
    return out;
}

}  // namespace Nyx
