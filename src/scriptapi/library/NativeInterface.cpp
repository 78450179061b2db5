#include "scriptapi/library/NativeInterface.h"

#include <dlfcn.h>

#include <atomic>
#include <string>
#include <vector>

// Each object begins with the function table, as KNI.h promises plug-ins;
// the class tag tells the release what else it holds.
struct KNIObject {
    const KNIFunctions* functions;
    uint32_t cls;
    std::atomic<int32_t> references{1};
};

namespace {

std::atomic<int32_t> liveObjects{0};

struct KNIString : KNIObject {
    std::string text;
};

struct KNIArray : KNIObject {
    std::vector<KNIObject*> elements;
};

struct KNILibrary : KNIObject {
    KNILibraryCall call = nullptr;
    KNILibraryFree free = nullptr;
    void* state = nullptr;
    void* sharedObject = nullptr;
};

template <class T>
T* Make(uint32_t cls)
{
    T* object = new T;
    object->functions = &KNITable();
    object->cls = cls;
    liveObjects.fetch_add(1, std::memory_order_relaxed);
    return object;
}

void Destroy(KNIObject* object)
{
    liveObjects.fetch_sub(1, std::memory_order_relaxed);
    switch (object->cls) {
    case KNI_CLASS_STRING:
        delete static_cast<KNIString*>(object);
        break;
    case KNI_CLASS_ARRAY: {
        auto* array = static_cast<KNIArray*>(object);
        for (KNIObject* element : array->elements)
            KNIRelease(element);
        delete array;
        break;
    }
    case KNI_CLASS_LIBRARY: {
        auto* library = static_cast<KNILibrary*>(object);
        // The state's code lives in the shared object: freed first.
        if (library->free)
            library->free(library->state);
        void* shared = library->sharedObject;
        delete library;
        if (shared)
            ::dlclose(shared);
        break;
    }
    default:
        delete object;
        break;
    }
}

}  // namespace

const KNIFunctions& KNITable() noexcept
{
    static const KNIFunctions table = {
        sizeof(KNIFunctions), &KNIAllocString,   &KNIAllocArray,     &KNISetArrayElement,
        &KNIGetArrayLength,   &KNIGetArrayElement, &KNIGetObjectClass, &KNIGetStringText,
        &KNIRelease,          &KNIAllocLibrary,  &KNICallLibraryFunction,
    };
    return table;
}

KNIObject* KNIAllocString(const char* text)
{
    KNIString* string = Make<KNIString>(KNI_CLASS_STRING);
    if (text)
        string->text = text;
    return string;
}

KNIObject* KNIAllocArray(uint32_t length)
{
    KNIArray* array = Make<KNIArray>(KNI_CLASS_ARRAY);
    array->elements.assign(length, nullptr);
    return array;
}

int32_t KNISetArrayElement(KNIObject* array, uint32_t index, KNIObject* element)
{
    if (!array || array->cls != KNI_CLASS_ARRAY)
        return 0;
    auto& elements = static_cast<KNIArray*>(array)->elements;
    if (index >= elements.size())
        return 0;
    if (element)
        element->references.fetch_add(1, std::memory_order_relaxed);
    KNIRelease(elements[index]);
    elements[index] = element;
    return 1;
}

uint32_t KNIGetArrayLength(KNIObject* array)
{
    if (!array || array->cls != KNI_CLASS_ARRAY)
        return 0;
    return static_cast<uint32_t>(static_cast<KNIArray*>(array)->elements.size());
}

KNIObject* KNIGetArrayElement(KNIObject* array, uint32_t index)
{
    if (!array || array->cls != KNI_CLASS_ARRAY)
        return nullptr;
    const auto& elements = static_cast<KNIArray*>(array)->elements;
    return index < elements.size() ? elements[index] : nullptr;
}

uint32_t KNIGetObjectClass(KNIObject* object)
{
    return object ? object->cls : static_cast<uint32_t>(KNI_CLASS_NONE);
}

const char* KNIGetStringText(KNIObject* object)
{
    if (!object || object->cls != KNI_CLASS_STRING)
        return nullptr;
    return static_cast<KNIString*>(object)->text.c_str();
}

void KNIRelease(KNIObject* object)
{
    if (object && object->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        Destroy(object);
}

KNIObject* KNIAllocLibrary(KNIObject* context, KNILibraryCall call, KNILibraryFree free, void* state)
{
    if (!context || context->cls != KNI_CLASS_CONTEXT || !call)
        return nullptr;
    KNILibrary* library = Make<KNILibrary>(KNI_CLASS_LIBRARY);
    library->call = call;
    library->free = free;
    library->state = state;
    return library;
}

KNIObject* KNICallLibraryFunction(KNIObject* library, KNIObject* name, KNIObject* arguments)
{
    const char* function = KNIGetStringText(name);
    if (!library || library->cls != KNI_CLASS_LIBRARY || !function)
        return nullptr;
    auto* own = static_cast<KNILibrary*>(library);
    return own->call(own->state, function, arguments);
}

KNIObject* KNICreateContext()
{
    return Make<KNIObject>(KNI_CLASS_CONTEXT);
}

void KNIReleaseContext(KNIObject* context)
{
    KNIRelease(context);
}

bool KNIAdoptSharedObject(KNIObject* library, void* handle)
{
    if (!library || library->cls != KNI_CLASS_LIBRARY)
        return false;
    static_cast<KNILibrary*>(library)->sharedObject = handle;
    return true;
}

int32_t KNILiveObjects() noexcept
{
    return liveObjects.load(std::memory_order_relaxed);
}
