#include <cstdlib>

#include "config/tree/FloatArray.h"
#include "config/kuid/KUID.h"
#include "config/tree/TDBContainerTag.h"
#include "nyx/files/File.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/writers/FileExtensions.h"

namespace TETLib {

namespace {

// An empty string in a "sound" container passes in assets before this
// build (3.1), compared in hundredths of the build as the config holds it.
constexpr double kFirstEmptySoundBuildHundredths = 310.0;
constexpr float kDefaultBuild = 1.3f;

int32_t ToInt(std::string_view text)
{
    const long value = std::strtol(std::string(text).c_str(), nullptr, 10);
    return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
}

KUID ValueKUID(const Tag& tag) { return tag.value.Empty() ? KUID::Null : KUID::Parse(tag.value.c_str(), false); }

void StoreNumbers(ChunkRef& target, const Tag& tag)
{
    FloatArray numbers;
    for (const float number : ParseNumberList(tag.value.View()))
        numbers.Append(number);
    TDBContainerTag::SetNumberList(target, tag.name, numbers);
}

// The build of the asset as its config states it, not as the checks hold
// it with their small margin.
float StatedBuild(const Container& container)
{
    const Container* top = &container;
    while (top->GetParent())
        top = top->GetParent();
    return TDBContainerTag::GetFloat(top->GetConfig(), Keys().build, kDefaultBuild);
}

bool ReportEmptyName(const Tag& tag, const Container& owner)
{
    if (!tag.name.Empty())
        return true;
    ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_container_emptyname"), {tag.name, owner.GetName()}));
    return false;
}

// Every number is stored, however many there are.
bool Vector(Tag& tag, ChunkRef& target, int32_t size)
{
    bool ok = tag.RunRules();
    if (!Tag::CheckArraySize(tag, size))
        ok = false;
    StoreNumbers(target, tag);
    return ok;
}

}  // namespace

bool Container::ExportFloat(Tag& tag, ChunkRef& target)
{
    const bool ok = tag.RunRules();
    TDBContainerTag::SetFloat(target, tag.name, ParseNumber(tag.value.c_str()));
    return ok;
}

bool Container::ExportString(Tag& tag, ChunkRef& target)
{
    static const Nyx::PString kSound("sound");
    bool ok = true;
    if (tag.value.Empty()) {
        const bool quietSound = name_ == kSound
                                && static_cast<double>(StatedBuild(*this)) * 100.0 < kFirstEmptySoundBuildHundredths;
        if (!quietSound) {
            ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_container_emptystringerr"), {tag.name, name_}));
            ok = false;
        }
    } else if (!tag.RunRules()) {
        ok = false;
    }
    TDBContainerTag::SetString(target, tag.name, tag.value);
    return ok;
}

bool Container::ExportInt(Tag& tag, ChunkRef& target)
{
    const bool ok = tag.RunRules();
    TDBContainerTag::SetInt(target, tag.name, ToInt(tag.value.View()));
    return ok;
}

bool Container::ExportBool(Tag& tag, ChunkRef& target)
{
    const bool ok = tag.RunRules();
    TDBContainerTag::SetInt(target, tag.name, tag.value.View() == "1" ? 1 : 0);
    return ok;
}

bool Container::ExportVector2(Tag& tag, ChunkRef& target) { return Vector(tag, target, 2); }
bool Container::ExportVector3(Tag& tag, ChunkRef& target) { return Vector(tag, target, 3); }
bool Container::ExportVector4(Tag& tag, ChunkRef& target) { return Vector(tag, target, 4); }
bool Container::ExportVector5(Tag& tag, ChunkRef& target) { return Vector(tag, target, 5); }

bool Container::ExportFloatList(Tag& tag, ChunkRef& target)
{
    const bool ok = tag.RunRules();
    StoreNumbers(target, tag);
    return ok;
}

bool Container::ExportKUID(Tag& tag, ChunkRef& target)
{
    const KUID kuid = ValueKUID(tag);
    const bool ok = tag.RunRules();
    TDBContainerTag::SetKUID(target, tag.name, kuid);
    return ok;
}

bool Container::ExportStringKUID(Tag& tag, ChunkRef& target)
{
    const KUID kuid = ValueKUID(tag);
    bool ok = ReportEmptyName(tag, *this);
    if (!tag.RunRules())
        ok = false;
    LowerTagName(tag);
    TDBContainerTag::SetKUID(target, tag.name, kuid);
    return ok;
}

bool Container::ExportDoubleString(Tag& tag, ChunkRef& target)
{
    bool ok = ReportEmptyName(tag, *this);
    if (tag.value.Empty()) {
        ReportWarningAgainst(tag, MessageText(Nyx::PString("$tet_container_emptystringwarn"), {tag.name, name_}));
        ok = false;
    }
    if (!tag.RunRules())
        ok = false;
    LowerTagName(tag);
    TDBContainerTag::SetString(target, tag.name, tag.value);
    return ok;
}

bool Container::ExportKUIDBrowser(Tag& tag, ChunkRef& target)
{
    const KUID kuid = ValueKUID(tag);
    bool ok = tag.RunRules();
    if (!Tag::CheckKUID(tag))
        ok = false;
    TDBContainerTag::SetKUID(target, tag.name, kuid);
    return ok;
}

bool Container::ExportStringKUIDBrowser(Tag& tag, ChunkRef& target)
{
    const KUID kuid = ValueKUID(tag);
    bool ok = ReportEmptyName(tag, *this);
    if (!tag.RunRules())
        ok = false;
    if (!Tag::CheckKUID(tag))
        ok = false;
    TDBContainerTag::SetKUID(target, tag.name, kuid);
    return ok;
}

bool Container::ExportUndefined(Tag& tag, ChunkRef& target)
{
    TDBContainerTag::SetString(target, tag.name, tag.value);
    return true;
}

// File references: an unknown extension is reported but does not fail the
// writer; a description is stored under its compiled name (".txt" off).
static bool ExportFileReference(Container& owner, Tag& tag, ChunkRef& target, bool editable)
{
    bool ok = true;
    if (tag.value.Empty()) {
        ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_container_emptystringwarn"),
                                            {tag.name, owner.GetName()}));
        ok = false;
    }
    const Nyx::File::Path path(tag.value.View());
    if (const ExtensionRule* rule = FindExtensionRule(tag.dataType.View(), editable)) {
        bool accepted = false;
        std::string_view extensions = rule->extensions;
        while (!extensions.empty() && !accepted) {
            const size_t blank = extensions.find(' ');
            accepted = HasExtension(path.View(), extensions.substr(0, blank));
            extensions = blank == std::string_view::npos ? std::string_view() : extensions.substr(blank + 1);
        }
        if (!accepted)
            ReportErrorAgainst(tag, MessageText(Nyx::PString(rule->key), {tag.name, owner.GetName()}));
    }
    if (!tag.RunRules())
        ok = false;
    TDBContainerTag::SetString(target, tag.name, Nyx::PString(WithoutTextExtension(path.View())));
    return ok;
}

bool Container::ExportFilePath(Tag& tag, ChunkRef& target) { return ExportFileReference(*this, tag, target, false); }

bool Container::ExportFilePathEdit(Tag& tag, ChunkRef& target)
{
    return ExportFileReference(*this, tag, target, true);
}

}  // namespace TETLib
