#include "scriptapi/data/LinkedListNatives.h"

#include <string_view>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSString.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"

using namespace GSRuntime;

namespace {

constexpr PlainNative kNatives[] = {
    {"$void@LinkedList::SortInternal(LinkedData[])", &LinkedListNatives::SortInternal},
    {"$void@LinkedList::AddInternal(LinkedData[],LinkedData,bool)", &LinkedListNatives::AddInternal},
};

// The fields a native reads of one element; a missing element (or one too
// small to hold them) reads as empty text, 0 and no object.
struct LinkedFields {
    std::string_view text;
    int32_t number = 0;
    GSSlot object = 0;
};

LinkedFields FieldsOf(GSSlot element)
{
    LinkedFields fields;
    if (!IsReference(element))
        return fields;
    GSSlot* part = ReferencePart(element);
    GSScriptInstance* instance = GSScriptInstance::OfPart(part);
    if (!instance->cls)
        return fields;
    // The fields follow the part's two header words in declaration order;
    // the headers of base parts (whose classes declare no fields) are
    // stepped over.
    const std::vector<uint8_t>& kinds = instance->cls->wordKinds;
    GSSlot* words[3] = {};
    int found = 0;
    for (size_t w = instance->PartOffset(part) + 2; w < kinds.size() && found < 3; ++w) {
        if (kinds[w] == GSClass::kFieldWord)
            words[found++] = instance->Fields() + w;
    }
    if (found < 3)
        return fields;
    if (IsReference(*words[0])) {
        if (const GSString* text = GSString::OfPart(ReferencePart(*words[0])))
            fields.text = text->View();
    }
    fields.number = SlotInt(*words[1]);
    fields.object = *words[2];
    return fields;
}

}  // namespace

void LinkedListNatives::RegisterNatives(GSMachine& machine)
{
    RegisterPlainNatives(machine, "LinkedList", kNatives);
}

void LinkedListNatives::Sort(GSArray& array)
{
    const int32_t count = array.Count();
    const GSSlot* elements = array.Elements();
    for (int32_t i = 0; i < count; ++i) {
        int32_t least = i;
        std::string_view leastText = FieldsOf(elements[i]).text;
        for (int32_t j = i + 1; j < count; ++j) {
            const std::string_view text = FieldsOf(elements[j]).text;
            if (text.compare(leastText) < 0) {
                least = j;
                leastText = text;
            }
        }
        if (least != i) {
            // An exchange: each element takes its own count along.
            const GSSlot first = elements[i], second = elements[least];
            AddReference(first);
            AddReference(second);
            array.SetObjectAt(i, second, false);
            array.SetObjectAt(least, first, false);
            elements = array.Elements();
        }
    }
}

void LinkedListNatives::SortInternal(GSContext*, GSThread& thread)
{
    // The sort compares every element with every one after it; a run that
    // cannot afford that many looks leaves the list as it is.
    GSArray* array = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, array, false))
        return;
    const uint64_t count = uint64_t(array->Count());
    if (ChargeWork(ElementWork(count * (count + 1) / 2)))
        Sort(*array);
}

void LinkedListNatives::AddInternal(GSContext*, GSThread& thread)
{
    GSArray* array = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, array, false))
        return;
    const GSSlot item = thread.stack.Local(2);
    if (!IsReference(item) || array->ElementKind() != GSArray::kReferenceElements)
        return;
    if (SlotInt(thread.stack.Local(3)) != 0) {
        if (!ChargeWork(ElementWork(uint64_t(array->Count()))))
            return;
        const LinkedFields wanted = FieldsOf(item);
        const int32_t count = array->Count();
        for (int32_t i = 0; i < count; ++i) {
            const LinkedFields have = FieldsOf(array->Elements()[i]);
            if (have.text == wanted.text && have.number == wanted.number && have.object == wanted.object)
                return;
        }
    }
    array->SetObjectAt(array->Count(), item, true);
}
