#include "gs/runtime/objects/GSContext.h"

#include <algorithm>

#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ScriptLogHook.h"

namespace GSRuntime {

namespace {

std::vector<GSContext*>& Contexts()
{
    static std::vector<GSContext*> contexts;
    return contexts;
}

// The four fields a Message object is given: major and minor texts, source
// and destination objects.
constexpr uint32_t kMessageFields[] = {2, 3, 4, 5};

bool HoldsMessageFields(const GSClass& cls)
{
    for (uint32_t word : kMessageFields) {
        if (word >= cls.fieldCount || cls.wordKinds[word] != GSClass::kFieldWord)
            return false;
        bool listed = false;
        for (uint32_t i = 0; i < cls.objectFieldCount && !listed; ++i)
            listed = cls.ObjectField(i) == word;
        if (!listed)
            return false;
    }
    return true;
}

}  // namespace

GSContext::GSContext(GSMachine* machine) : tracked_(this), machine_(machine) { Contexts().push_back(this); }

GSContext::~GSContext()
{
    for (auto& [id, library] : libraries_) {
        for (size_t i = library->statics.size(); i-- > 0;) {
            delete library->statics[i];
            library->statics[i] = nullptr;
        }
    }
    router_.reset();
    std::vector<GSContext*>& all = Contexts();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    libraries_.clear();
    tracked_.Sweep();
}

const std::vector<GSContext*>& GSContext::All() noexcept { return Contexts(); }

void GSContext::SetRouter(std::unique_ptr<GSRouter> router) { router_ = std::move(router); }

GSMachine& GSContext::Machine() const { return machine_ ? *machine_ : GSMachine::Get(); }

GSContext::GSLibraryContext* GSContext::GetLibraryContext(GSLibrary& library)
{
    const uint64_t key = (uint64_t(library.idHigh) << 32) | library.idLow;
    std::unique_ptr<GSLibraryContext>& slot = libraries_[key];
    if (!slot)
        slot.reset(new GSLibraryContext{&library, std::vector<GSObject*>(library.classCount, nullptr)});
    return slot.get();
}

GSObject* GSContext::GetStaticObject(GSClass& cls)
{
    if (!(cls.flags & GSClass::kFlagStatic))
        return nullptr;
    GSLibraryContext* library = GetLibraryContext(*cls.library);
    if (GSObject* existing = library->statics[cls.index])
        return existing;
    auto* object = new GSObject;
    if (!object->AttachClass(&cls, this)) {
        delete object;
        ScriptLog("Could not construct static class %s for context", cls.name);
        return nullptr;
    }
    // A constructor that asked for its own class's object made one already.
    if (GSObject* made = library->statics[cls.index]) {
        delete object;
        return made;
    }
    library->statics[cls.index] = object;
    return object;
}

GSSlot* GSContext::CreateMessageObject(const GSMessage& message)
{
    GSClass* cls = Machine().GetMessageClass();
    if (!cls || !HoldsMessageFields(*cls))
        return nullptr;
    auto* object = new GSObject;
    object->GiveToInstance();
    if (!object->AttachClass(cls, this)) {
        delete object;
        return nullptr;
    }
    GSSlot* block = object->GetInstance();
    const auto text = [this](uint16_t id) -> GSSlot {
        const char* name = router_ ? router_->Text(id) : nullptr;
        return name ? (new GSString(this, name))->Reference() : 0;
    };
    // Source and destination as the GameObject views the fields hold.
    GSClass* gameObjectClass = Machine().GetGameObjectClass();
    const auto node = [this, gameObjectClass](uint32_t id) -> GSSlot {
        auto* gameObject = router_ ? dynamic_cast<GSGameObject*>(router_->FindNode(id)) : nullptr;
        GSScriptInstance* instance = gameObject ? gameObject->Instance() : nullptr;
        if (!instance || instance->refCount == 0)
            return 0;
        return MakeReference(GSObject::CastToClass(instance->Fields(), gameObjectClass));
    };
    StoreReference(block, kMessageFields[0], text(message.major), false);
    StoreReference(block, kMessageFields[1], text(message.minor), false);
    StoreReference(block, kMessageFields[2], node(message.source), true);
    StoreReference(block, kMessageFields[3], node(message.destination), true);
    return block;
}

}  // namespace GSRuntime
