#include "nyx/gfx/materials/MaterialManager.h"

#include <mutex>
#include <string>
#include <vector>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialPlugin.h"

namespace Nyx {

namespace {

struct Enrolment {
    uint32_t token;
    std::string type;  // lower case
    MaterialManager::Factory factory;
    MaterialPlugin* plugin = nullptr;
};

struct TypeTable {
    std::mutex lock;
    std::vector<Enrolment> rows;  // oldest first
    uint32_t nextToken = 1;
};

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

Material* MakeOneTexture(const PString& name, const PString& type)
{
    Material* material = new OneTextureMaterial(name, type);
    material->AddRef();
    return material;
}

TypeTable& Table()
{
    // Never destroyed: plug-ins may withdraw their types during exit.
    static TypeTable* table = [] {
        auto* t = new TypeTable;
        for (const char* type : {"notex", "onetex", "gloss", "reflect"})
            t->rows.push_back({t->nextToken++, type, &MakeOneTexture});
        return t;
    }();
    return *table;
}

[[maybe_unused]] const bool gEngineTypesEnrolled = (Table(), true);

// The newest enrolment of the word: a factory or a plug-in.
bool FindEnrolment(std::string_view type, MaterialManager::Factory& factory, MaterialPlugin*& plugin)
{
    const std::string lower = Lower(type);
    TypeTable& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    for (auto it = table.rows.rbegin(); it != table.rows.rend(); ++it) {
        if (it->type == lower) {
            factory = it->factory;
            plugin = it->plugin;
            return true;
        }
    }
    return false;
}

// A plug-in that falls back names a type that may fall back in turn.
constexpr uint32_t kMaxFallbacks = 4;

}  // namespace

uint32_t MaterialManager::RegisterType(std::string_view type, Factory factory)
{
    if (type.empty() || !factory)
        return 0;
    TypeTable& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    const uint32_t token = table.nextToken++;
    table.rows.push_back({token, Lower(type), factory});
    return token;
}

void MaterialManager::UnregisterType(uint32_t token)
{
    TypeTable& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    for (auto it = table.rows.begin(); it != table.rows.end(); ++it) {
        if (it->token == token) {
            table.rows.erase(it);
            return;
        }
    }
}

uint32_t MaterialManager::RegisterPlugin(std::string_view type, MaterialPlugin* plugin)
{
    if (type.empty() || !plugin)
        return 0;
    TypeTable& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    const uint32_t token = table.nextToken++;
    table.rows.push_back({token, Lower(type), nullptr, plugin});
    return token;
}

bool MaterialManager::IsTypeKnown(std::string_view type)
{
    MaterialManager::Factory factory = nullptr;
    MaterialPlugin* plugin = nullptr;
    return FindEnrolment(type, factory, plugin);
}

std::string_view MaterialManager::TypeOf(std::string_view decoratedName)
{
    const size_t at = decoratedName.rfind(".m.");
    if (at == std::string_view::npos)
        return {};
    return decoratedName.substr(at + 3);
}

Material* MaterialManager::LoadMaterial(const PString& decoratedName)
{
    ++loads_;
    return LoadMaterial(decoratedName, 0);
}

Material* MaterialManager::LoadMaterial(const PString& decoratedName, uint32_t depth)
{
    const std::string_view type = TypeOf(decoratedName.View());
    if (type.empty())
        return nullptr;
    Factory factory = nullptr;
    MaterialPlugin* plugin = nullptr;
    if (!FindEnrolment(type, factory, plugin))
        return nullptr;
    if (factory)
        return factory(decoratedName, PStringCache::ToLower(PString(type)));

    Display* display = kernel_ ? &kernel_->GetDisplay() : renderContext_;
    PString fallback;
    if (display && !plugin->IsSupported(*display, fallback)) {
        if (fallback.Empty() || depth >= kMaxFallbacks)
            return nullptr;
        const std::string_view name = decoratedName.View();
        return LoadMaterial(PString(std::string(name.substr(0, name.size() - type.size())) + fallback.Str()),
                            depth + 1);
    }
    Material* material = plugin->CreateInstance(this, kernel_);
    if (!material)
        return nullptr;
    material->SetName(decoratedName);
    material->AddRef();
    return material;
}

}  // namespace Nyx

namespace Nyx {

MaterialManager::~MaterialManager()
{
    for (auto& entry : made_)
        entry.second->Release();
}

uint32_t MaterialManager::FindOrCreate(const PString& decoratedName, Material*& out)
{
    out = nullptr;
    if (decoratedName.Empty())
        return kNoName;
    for (auto& entry : made_) {
        if (entry.first == decoratedName) {
            out = entry.second;
            out->AddRef();
            return kFound;
        }
    }
    const std::string_view type = TypeOf(decoratedName.View());
    if (type.empty() || !IsTypeKnown(type))
        return kUnknownType;
    Material* material = LoadMaterial(decoratedName);
    if (!material)
        return kNotCreatable;
    made_.emplace_back(decoratedName, material);
    material->AddRef();
    out = material;
    return kFound;
}

void MaterialManager::SplitDecoratedMaterialName(const PString& decoratedName, PString& name, PString& type)
{
    const std::string_view text = decoratedName.View();
    const size_t at = text.rfind(".m.");
    if (at == std::string_view::npos) {
        name = decoratedName;
        type = PString();
        return;
    }
    name = PString(text.substr(0, at));
    type = PString(text.substr(at + 3));
}

}  // namespace Nyx
