// Entering a class's native table in the machine's native list: one binding
// per row, in the table's order, under the interned class name and the
// interned signature. Tables are entered once, at script-system start-up.
#pragma once

#include <cstddef>
#include <memory>

#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "nyx/base/PString.h"

template <class T>
struct MemberNative {
    const char* signature;
    void (T::*handler)(GSRuntime::GSThread& thread);
};

struct PlainNative {
    const char* signature;
    GSRuntime::GSCNativeFunction::Handler handler;
};

// Members of the native object class T.
template <class T, size_t N>
void RegisterMemberNatives(GSMachine& machine, const char* className, const MemberNative<T> (&table)[N])
{
    const Nyx::PString name(className);
    for (const MemberNative<T>& row : table)
        machine.AddNative(
            std::make_unique<GSRuntime::GSCPPNativeFunction<T>>(name, Nyx::PString(row.signature), row.handler));
}

// Members of the script context class T.
template <class T, size_t N>
void RegisterContextNatives(GSMachine& machine, const char* className, const MemberNative<T> (&table)[N])
{
    const Nyx::PString name(className);
    for (const MemberNative<T>& row : table)
        machine.AddNative(std::make_unique<GSRuntime::GSCPPContextNativeFunction<T>>(
            name, Nyx::PString(row.signature), row.handler));
}

// Plain functions given the target's context.
template <size_t N>
void RegisterPlainNatives(GSMachine& machine, const char* className, const PlainNative (&table)[N])
{
    const Nyx::PString name(className);
    for (const PlainNative& row : table)
        machine.AddNative(
            std::make_unique<GSRuntime::GSCNativeFunction>(name, Nyx::PString(row.signature), row.handler));
}
