#include <string>

#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/errors/ErrorHandler.h"

namespace TETLib {

namespace {

// Kinds that are written back under the kind they became.
struct KindRename {
    const char* from;
    const char* to;
};
constexpr KindRename kKindRenames[] = {
    {"double-track", "bridge"},
    {"tunnel", "bridge"},
    {"chunky-track", "track"},
    {"mesh-reducing-track", "track"},
    {"obsolete-track", "track"},
    {"scenery-trackside", "scenery"},
};

void RenameKind(Tag& tag)
{
    tag.value.MakeLower();
    for (const KindRename& rename : kKindRenames)
        if (tag.value.View() == rename.from) {
            tag.value = Nyx::PString(rename.to);
            return;
        }
}

}  // namespace

bool Container::Export(ChunkRef& target)
{
    static const Nyx::PString kExtensions("extensions");
    if (extensions_) {
        target.EnsureContainer();
        TDBContainerTag::RemoveChild(target, kExtensions);
        target->AddChild(kExtensions, extensions_);
        return true;
    }

    // Every writer runs whatever the ones before it found: each reports
    // its own findings and stores its value.
    bool ok = true;
    for (const std::unique_ptr<Tag>& owned : tags_) {
        Tag& tag = *owned;
        if (tag.name == Keys().kind)
            RenameKind(tag);
        bool passed = true;
        switch (tag.valueType) {
        case kTypeFloat: passed = ExportFloat(tag, target); break;
        case kTypeString: passed = ExportString(tag, target); break;
        case kTypeInt: passed = ExportInt(tag, target); break;
        case kTypeBool: passed = ExportBool(tag, target); break;
        case kTypeVector2: passed = ExportVector2(tag, target); break;
        case kTypeVector3: passed = ExportVector3(tag, target); break;
        case kTypeVector4: passed = ExportVector4(tag, target); break;
        case kTypeVector5: passed = ExportVector5(tag, target); break;
        case kTypeFloatList: passed = ExportFloatList(tag, target); break;
        case kTypeCombobox: passed = ExportCombobox(tag, target); break;
        case kTypeIntCombobox: passed = ExportIntCombobox(tag, target); break;
        case kTypeListbox: passed = ExportListbox(tag, target); break;
        case kTypeDoubleString: passed = ExportDoubleString(tag, target); break;
        case kTypeKUID: passed = ExportKUID(tag, target); break;
        case kTypeFilePath: passed = ExportFilePath(tag, target); break;
        case kTypeFilePathEdit: passed = ExportFilePathEdit(tag, target); break;
        case kTypeStringKUID: passed = ExportStringKUID(tag, target); break;
        case kTypeKUIDBrowser: passed = ExportKUIDBrowser(tag, target); break;
        case kTypeStringKUIDBrowser: passed = ExportStringKUIDBrowser(tag, target); break;
        case kTypeUndefined: passed = ExportUndefined(tag, target); break;
        default: break;  // no writer: the tag is not written
        }
        if (!passed)
            ok = false;
    }

    for (const std::unique_ptr<Container>& owned : subContainers_) {
        Container& child = *owned;
        ErrorHandler* handler = ErrorHandler::Instance();
        if (handler && handler->TakesTraces())
            handler->CanReport(Nyx::PString("now exporting the container " + child.name_.Str()),
                               static_cast<uint64_t>(child.Serial()));
        const Nyx::PString& key = child.savingName_.Empty() ? child.name_ : child.savingName_;
        ChunkRef written;
        written.EnsureContainer();
        target.EnsureContainer();
        TDBContainerTag::RemoveChild(target, key);
        target->AddChild(key, written);
        if (!child.Export(written))
            ok = false;
        if (!child.RunRules())
            ok = false;
    }
    return ok;
}

std::string Container::GetContainerPath() const
{
    std::string path;
    for (const Container* at = this; at && at->parent_; at = at->parent_)
        path = path.empty() ? at->name_.Str() : at->name_.Str() + "\\" + path;
    return path;
}

}  // namespace TETLib
