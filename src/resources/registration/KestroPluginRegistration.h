// The program's material plug-ins and resource types, made known to the
// engine by the one export NyxGetPlugins: seven material plug-ins and five
// resource types, in a fixed order, each held by the plug-in system for the
// rest of the process. The ground-base material has no plug-in.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Nyx {
class PluginType;
}

extern "C" void NyxGetPlugins();

namespace KestroPluginRegistration {

struct Entry {
    std::string_view name;
    std::string_view uid;
};

// The material plug-ins in the order they are made.
inline constexpr std::array<Entry, 7> kMaterialPlugins{{
    {"tbumpgloss", "F7478888-C721-48AB-B3C0-19621E66554E"},
    {"tbumptex", "E34011F3-C721-48ba-B3C0-19621E408CBD"},
    {"tbumpenv", "0ECEE41C-76E7-47fd-ADBB-0E938E809C03"},
    {"tonetexnoalpha", "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626"},
    {"tglossrust", "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712"},
    {"tmpfx", "643AFE90-426A-46EE-C19F-FFA0A471ABD7"},
    {"nofogtex", "AB84944B-00A6-4a18-8BAF-4664E98075AA"},
}};

// The resource types in the order they are made after the plug-ins; the
// two LOD forms share their class and their identifier.
inline constexpr std::array<Entry, 5> kResourceTypes{{
    {"kestro.im", "B9E68EA1-56A3-4a6d-9D5D-C5C020F944E6"},
    {"kestro.pm", "2E8739F0-412F-48c2-9F71-912B659C58B6"},
    {"kestro.lm.txt", "8FCC40D7-8BDD-4d14-B528-65692F5DF710"},
    {"kestro.lm", "8FCC40D7-8BDD-4d14-B528-65692F5DF710"},
    {"convert-tex.txt", "A6805E60-4C54-1278-1111-00010251467D"},
}};

// Makes and enrols the twelve objects, in order; one that cannot be
// allocated is passed over. Each one made is appended to `made` when given
// (no reference for the caller).
void RegisterAll(std::vector<Nyx::PluginType*>* made = nullptr);

// NyxGetPlugins, once per process whoever asks first: the start-up, or the
// mesh checks of a program that started the engine another way.
void EnsureRegistered();

}  // namespace KestroPluginRegistration
