/*
 * The C interface between the tool and the native plug-ins of library
 * assets. A plug-in is a shared object that exports one function,
 * KNIEntryPoint; everything else it reaches through the function table
 * that every object handed to it carries first, so a plug-in links against
 * nothing of the tool's.
 *
 * Objects are counted: whatever a function answers is the caller's, to be
 * given back with Release. A library function answers a new object or
 * null.
 */
#ifndef KESTRO_KNI_H
#define KESTRO_KNI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    KNI_CLASS_NONE = 0,
    KNI_CLASS_ARRAY = 1,
    KNI_CLASS_STRING = 2,
    KNI_CLASS_LIBRARY = 3,
    KNI_CLASS_CONTEXT = 4
};

typedef struct KNIObject KNIObject;

/* A plug-in's dispatcher: the function's name and its argument array
 * (borrowed; null for none). */
typedef KNIObject* (*KNILibraryCall)(void* state, const char* function, KNIObject* arguments);
/* Frees the plug-in's state when its library object goes. */
typedef void (*KNILibraryFree)(void* state);

typedef struct KNIFunctions {
    uint32_t size; /* sizeof(KNIFunctions) of the tool that made it */
    KNIObject* (*AllocString)(const char* text);
    KNIObject* (*AllocArray)(uint32_t length);
    /* Stores the element (adding a count; null clears the slot); 0 when the
     * index is outside the array. */
    int32_t (*SetArrayElement)(KNIObject* array, uint32_t index, KNIObject* element);
    uint32_t (*GetArrayLength)(KNIObject* array);
    /* Borrowed: no count is added. */
    KNIObject* (*GetArrayElement)(KNIObject* array, uint32_t index);
    uint32_t (*GetObjectClass)(KNIObject* object);
    /* The text of a string object; null for anything else. */
    const char* (*GetStringText)(KNIObject* object);
    void (*Release)(KNIObject* object);
    /* The plug-in's library object: what its entry point answers. */
    KNIObject* (*AllocLibrary)(KNIObject* context, KNILibraryCall call, KNILibraryFree free, void* state);
    KNIObject* (*CallLibraryFunction)(KNIObject* library, KNIObject* name, KNIObject* arguments);
} KNIFunctions;

/* The first member of every object. */
typedef struct KNIObjectHeader {
    const KNIFunctions* functions;
} KNIObjectHeader;

#define KNI_FUNCTIONS(object) (((const KNIObjectHeader*)(object))->functions)

/* The export: given the script context's handle, it answers its library
 * object, or null when it cannot serve. */
typedef KNIObject* (*KNIEntryPointFunction)(KNIObject* context);
#define KNI_ENTRY_POINT_NAME "KNIEntryPoint"

#ifdef __cplusplus
}
#endif

#endif
