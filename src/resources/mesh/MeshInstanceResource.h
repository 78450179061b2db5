// What a mesh instance holds of the resource it was made from: a counted,
// locked reference that keeps the mesh loaded, and the way to its
// definition. The mesh resources implement it.
#pragma once

class KestroIndexedMeshDefinition;

class MeshInstanceResource {
public:
    virtual ~MeshInstanceResource() = default;

    virtual void AddReference() = 0;
    virtual void ReleaseReference() = 0;
    virtual bool Lock() = 0;
    virtual void Unlock() = 0;
    // The definition of a geometry resource; null for other resources and
    // while none is loaded.
    virtual KestroIndexedMeshDefinition* GetGeometryDefinition() = 0;
};
