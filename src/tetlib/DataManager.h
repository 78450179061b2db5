// The validation library's data manager: the folders its validation data is
// read from, and the engine objects of its preview scene.
//
// This is the manager's first form, holding what start-up and shut-down give
// it; the validation data files and the scene itself come with the rest of
// the library.
#pragma once

#include <string>
#include <vector>

struct EngineContext;

namespace Nyx {
class OS;
class RenderKernel;
class ResourceSystem;
}  // namespace Nyx

namespace TETLib {

class DataManager {
public:
    // Makes the singleton and appends the data folder (a path ending in
    // "TETData/") to its folder list; true.
    static bool Create(const std::string& dataFolder);
    // Tears down and deletes the singleton, when there is one.
    static void Destroy();
    // The singleton; a fatal error when it was never created.
    static DataManager& Instance();
    // Null outside Create .. Destroy.
    static DataManager* Existing();

    // Keeps the context's engine objects for the preview scene.
    void SetupPreviewScene(const EngineContext& context);
    // Takes the product's dummy materials once.
    void RegisterKestroBumpVertexType();
    // Gives back what RegisterKestroBumpVertexType took, when it ran.
    static void ReleaseVertexTypeMaterials();

    const std::vector<std::string>& DataFolders() const noexcept { return dataFolders_; }
    bool HasPreviewScene() const noexcept { return previewScene_; }
    bool HasVertexTypeMaterials() const noexcept { return vertexTypeMaterials_; }
    Nyx::ResourceSystem* GetResourceSystem() const noexcept { return resourceSystem_; }
    Nyx::RenderKernel* GetRenderKernel() const noexcept { return renderKernel_; }
    Nyx::OS* GetOS() const noexcept { return os_; }

private:
    DataManager() = default;

    std::vector<std::string> dataFolders_;
    Nyx::ResourceSystem* resourceSystem_ = nullptr;
    Nyx::RenderKernel* renderKernel_ = nullptr;
    Nyx::OS* os_ = nullptr;
    bool previewScene_ = false;
    bool vertexTypeMaterials_ = false;
};

}  // namespace TETLib
