// The tool's side of the plug-in interface (KNI.h): counted strings,
// arrays, library objects and the context handle a script context gives
// its plug-ins. A library object owns the shared object its plug-in came
// from and closes it after the plug-in's state is freed.
#pragma once

#include <cstdint>

#include "scriptapi/library/KNI.h"

const KNIFunctions& KNITable() noexcept;

KNIObject* KNIAllocString(const char* text);
KNIObject* KNIAllocArray(uint32_t length);
int32_t KNISetArrayElement(KNIObject* array, uint32_t index, KNIObject* element);
uint32_t KNIGetArrayLength(KNIObject* array);
KNIObject* KNIGetArrayElement(KNIObject* array, uint32_t index);
uint32_t KNIGetObjectClass(KNIObject* object);
const char* KNIGetStringText(KNIObject* object);
void KNIRelease(KNIObject* object);
KNIObject* KNIAllocLibrary(KNIObject* context, KNILibraryCall call, KNILibraryFree free, void* state);
KNIObject* KNICallLibraryFunction(KNIObject* library, KNIObject* name, KNIObject* arguments);
// The same with the function's name as text, as the tool's own callers have it.
KNIObject* KNICallLibraryFunctionNamed(KNIObject* library, const char* function, KNIObject* arguments);

// A script context's handle, and its release (KNIRelease does the same).
KNIObject* KNICreateContext();
void KNIReleaseContext(KNIObject* context);
// The library object keeps the shared object open until it goes; false
// when the object is no library.
bool KNIAdoptSharedObject(KNIObject* library, void* handle);
// Objects alive, for tests.
int32_t KNILiveObjects() noexcept;
