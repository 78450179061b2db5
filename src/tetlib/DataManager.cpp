#include "tetlib/DataManager.h"

#include "core/EngineContext.h"
#include "core/Log.h"

namespace TETLib {

namespace {

DataManager* g_dataManager = nullptr;

}  // namespace

bool DataManager::Create(const std::string& dataFolder)
{
    if (!g_dataManager)
        g_dataManager = new DataManager;
    g_dataManager->dataFolders_.push_back(dataFolder);
    return true;
}

void DataManager::Destroy()
{
    if (!g_dataManager)
        return;
    g_dataManager->previewScene_ = false;
    g_dataManager->dataFolders_.clear();
    delete g_dataManager;
    g_dataManager = nullptr;
}

DataManager& DataManager::Instance()
{
    if (!g_dataManager)
        FatalError("DataManager::Instance> datamanger not initialised");
    return *g_dataManager;
}

DataManager* DataManager::Existing() { return g_dataManager; }

void DataManager::SetupPreviewScene(const EngineContext& context)
{
    resourceSystem_ = context.resourceSystem;
    renderKernel_ = context.renderKernel;
    os_ = context.os;
    previewScene_ = true;
}

void DataManager::RegisterKestroBumpVertexType() { vertexTypeMaterials_ = true; }

void DataManager::ReleaseVertexTypeMaterials()
{
    if (g_dataManager)
        g_dataManager->vertexTypeMaterials_ = false;
}

}  // namespace TETLib
