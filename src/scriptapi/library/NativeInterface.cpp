#include "scriptapi/library/NativeInterface.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <string>

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

// The elements follow the header in the same block: an argument list is
// made for every call into a plug-in.
struct KNIArray : KNIObject {
    uint32_t length = 0;
    KNIObject** Elements() noexcept { return reinterpret_cast<KNIObject**>(this + 1); }
};
static_assert(alignof(KNIArray) >= alignof(KNIObject*));

struct KNILibrary : KNIObject {
    KNILibraryCall call = nullptr;
    KNILibraryFree free = nullptr;
    void* state = nullptr;
    void* sharedObject = nullptr;
};

template <class T>
T* Tag(T* object, uint32_t cls)
{
    object->functions = &KNITable();
    object->cls = cls;
    liveObjects.fetch_add(1, std::memory_order_relaxed);
    return object;
}

template <class T>
T* Make(uint32_t cls)
{
    return Tag(new T, cls);
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
        for (uint32_t i = 0; i < array->length; ++i)
            KNIRelease(array->Elements()[i]);
        array->~KNIArray();
        ::operator delete(array);
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
    // A plug-in names the length: one too large for memory is no array.
    void* block = ::operator new(sizeof(KNIArray) + size_t(length) * sizeof(KNIObject*), std::nothrow);
    if (!block)
        return nullptr;
    KNIArray* array = Tag(new (block) KNIArray, KNI_CLASS_ARRAY);
    array->length = length;
    std::fill_n(array->Elements(), length, nullptr);
    return array;
}

int32_t KNISetArrayElement(KNIObject* array, uint32_t index, KNIObject* element)
{
    if (!array || array->cls != KNI_CLASS_ARRAY)
        return 0;
    auto* own = static_cast<KNIArray*>(array);
    if (index >= own->length)
        return 0;
    if (element)
        element->references.fetch_add(1, std::memory_order_relaxed);
    KNIRelease(own->Elements()[index]);
    own->Elements()[index] = element;
    return 1;
}

uint32_t KNIGetArrayLength(KNIObject* array)
{
    if (!array || array->cls != KNI_CLASS_ARRAY)
        return 0;
    return static_cast<KNIArray*>(array)->length;
}

KNIObject* KNIGetArrayElement(KNIObject* array, uint32_t index)
{
    if (!array || array->cls != KNI_CLASS_ARRAY)
        return nullptr;
    auto* own = static_cast<KNIArray*>(array);
    return index < own->length ? own->Elements()[index] : nullptr;
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
    return KNICallLibraryFunctionNamed(library, KNIGetStringText(name), arguments);
}

KNIObject* KNICallLibraryFunctionNamed(KNIObject* library, const char* function, KNIObject* arguments)
{
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
