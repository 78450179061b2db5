// Taking and giving back a counted reference to something a bump material
// keeps (programs, combiners, textures), where the pointer may be null.
#pragma once

namespace Nyx::bumpreference {

template <class T>
T* Hold(T* object)
{
    if (object)
        object->AddRef();
    return object;
}

// Gives the reference back and forgets the pointer.
template <class T>
void Drop(T*& object)
{
    if (object)
        object->Release();
    object = nullptr;
}

}  // namespace Nyx::bumpreference
