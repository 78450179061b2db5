#include "nyx/gfx/MaterialManager.h"

#include <mutex>
#include <string>
#include <vector>

#include "nyx/gfx/Material.h"

namespace Nyx {

namespace {

struct Enrolment {
    uint32_t token;
    std::string type;  // lower case
    MaterialManager::Factory factory;
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

MaterialManager::Factory FindFactory(std::string_view type)
{
    const std::string lower = Lower(type);
    TypeTable& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    for (auto it = table.rows.rbegin(); it != table.rows.rend(); ++it)
        if (it->type == lower)
            return it->factory;
    return nullptr;
}

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

bool MaterialManager::IsTypeKnown(std::string_view type) { return FindFactory(type) != nullptr; }

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
    const std::string_view type = TypeOf(decoratedName.View());
    if (type.empty())
        return nullptr;
    Factory factory = FindFactory(type);
    return factory ? factory(decoratedName, PStringCache::ToLower(PString(type))) : nullptr;
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
