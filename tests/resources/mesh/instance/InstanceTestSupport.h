// What the mesh instance tests share: a resource that counts its holders
// and hands out a loaded definition, and instances bound to it.
#pragma once

#include <memory>

#include "nyx/gfx/display/Display.h"
#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"
#include "resources/mesh/MeshInstanceResource.h"
#include "resources/mesh/MeshTestSupport.h"

struct CountingResource : MeshInstanceResource {
    int references = 0;
    int locks = 0;
    KestroIndexedMeshDefinition* definition = nullptr;

    void AddReference() override { ++references; }
    void ReleaseReference() override { --references; }
    bool Lock() override
    {
        ++locks;
        return true;
    }
    void Unlock() override { --locks; }
    KestroIndexedMeshDefinition* GetGeometryDefinition() override { return definition; }
};

struct InstanceHarness {
    MeshLoadHarness load;
    Nyx::Display display;
    CountingResource resource;

    InstanceHarness() { load.kernel.GetMaterialManager().SetRenderContext(&display); }

    // Loads the mesh; false when it does not load.
    bool Load(const TestMesh& mesh)
    {
        if (load.Load(mesh) != RES_OK)
            return false;
        resource.definition = load.definition.get();
        return true;
    }
    std::unique_ptr<KestroIndexedMeshInstance> Bind(bool withResource = true)
    {
        auto instance = std::make_unique<KestroIndexedMeshInstance>(&load.kernel.GetMaterialManager());
        instance->Bind(withResource ? &resource : nullptr, *load.definition);
        return instance;
    }
};
