// The data manager over a copy of the shipped validation data: the first
// load, the definitions merge, the personal details, the registers and the
// tear-down.
#include "tetlib/data/DataManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TETLibTestSupport.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "tetlib/container/Container.h"
#include "tetlib/mesh/MeshData.h"

namespace {

namespace fs = std::filesystem;
using TETLib::DataManager;

class DataManagerTest : public tetlibtest::ValidationDataFixture {};

std::vector<std::string> Texts(const std::vector<Nyx::PString>& list)
{
    std::vector<std::string> out;
    for (const Nyx::PString& s : list)
        out.push_back(s.Str());
    return out;
}

TEST_F(DataManagerTest, TheFirstInstanceLoadsTheDataOnceEvenWhenThatFails)
{
    DataManager& manager = Manager();
    EXPECT_FALSE(manager.IsLoaded());
    EXPECT_EQ(&DataManager::Instance(), &manager);
    EXPECT_EQ(manager.GetLocaleId(), 0x0C09u);  // the daemon could not be asked
    for (const char* file : {"container.txt", "inheritance.txt", "kind.txt", "newFormTemplate.txt"})
        EXPECT_EQ(manager.GetFolderFiles().count(Nyx::PString(file)), 1u) << file;
    const std::vector<std::string> form = Texts(manager.GetNewFormTemplate());
    ASSERT_GE(form.size(), 2u);
    EXPECT_EQ(form.front(), "kuid");
    EXPECT_EQ(form.back(), "imagelist");
    folder_.Write("TETData/late.txt", "x\n");
    DataManager::Instance();
    EXPECT_EQ(manager.GetFolderFiles().count(Nyx::PString("late.txt")), 0u);
    DataManager::Destroy();

    DataManager::Create(folder_ / "NoSuchFolder/");
    DataManager& missing = DataManager::Instance();
    EXPECT_TRUE(missing.IsLoaded());
    EXPECT_TRUE(missing.GetFolderFiles().empty());
    EXPECT_TRUE(missing.GetNewFormTemplate().empty());
    EXPECT_TRUE(missing.GetPersonalDetails().isinputboxon);
    DataManager::Destroy();  // nowhere to keep the details: nothing written
    EXPECT_FALSE(folder_.Has("NoSuchFolder"));
}

TEST_F(DataManagerTest, ASubFolderOfTheDataFolderDoesNotEndTheLoad)
{
    folder_.MakeFolder("TETData/aaa-notes");
    folder_.Write("TETData/zz-list.txt", "first one\nsecond\n");
    DataManager& manager = Manager();
    EXPECT_TRUE(manager.LoadDataFiles());
    EXPECT_EQ(manager.GetFolderFiles().count(Nyx::PString("zz-list.txt")), 1u);
    EXPECT_EQ(manager.GetNewFormTemplate().back(), Nyx::PString("imagelist"));
}

TEST_F(DataManagerTest, ChoiceListsAreTheKeysOfTheirFileFoundWithoutRegardToCase)
{
    folder_.Write("TETData/Queues.txt", "coal bulk\n\n passenger\nmail\n");
    folder_.Write("TETData/effects", "smoke\n");
    folder_.Write("TETData/effects.TXT", "steam\n");
    Manager();
    DataManager& manager = DataManager::Instance();
    struct Case {
        const char* source;
        std::vector<std::string> choices;  // empty: no list
    };
    const Case cases[] = {
        {"queues", {"coal", "mail"}}, {"QUEUES", {"coal", "mail"}}, {"queues.txt", {"coal", "mail"}},
        {"effects", {"steam"}},  // "<source>.txt" before "<source>"
        {"queue", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const std::vector<Nyx::PString>* list = manager.FindPossibilityList(Nyx::PString(c.source));
        ASSERT_EQ(list != nullptr, !c.choices.empty());
        if (list) {
            EXPECT_EQ(Texts(*list), c.choices);
        }
    }
}

TEST_F(DataManagerTest, LaterDefinitionsReplaceEarlierOnesOfTheSameNameAndMergeOnce)
{
    folder_.Write("TETData/inheritance.txt", "x\n{\n  from \"inheritance\"\n}\nz\n{\n  from \"inheritance\"\n}\n");
    folder_.Write("TETData/kind.txt", "x\n{\n  from \"kind\"\n}\ny\n{\n  from \"kind 1\"\n}\ny\n{\n  from \"kind 2\"\n}\n"
                                      "plain-value 1\n");
    folder_.Write("TETData/container.txt", "x\n{\n  from \"container\"\n}\n");
    DataManager& manager = Manager();
    auto from = [](const ChunkRef& definitions, const char* name) {
        return TDBContainerTag::GetString(TDBContainerTag::GetChildContainer(definitions, Nyx::PString(name)),
                                          Nyx::PString("from"))
            .Str();
    };
    manager.LoadDefinitions();
    const ChunkRef definitions = manager.GetDefinitions();
    EXPECT_EQ(from(definitions, "x"), "container");
    EXPECT_EQ(from(definitions, "y"), "kind 2");
    EXPECT_EQ(from(definitions, "z"), "inheritance");
    EXPECT_EQ(definitions.ChildCount(), 3u);  // no value tags

    folder_.Write("TETData/container.txt", "x\n{\n  from \"changed\"\n}\n");
    manager.LoadDefinitions();
    EXPECT_TRUE(manager.GetDefinitions() == definitions);
    EXPECT_EQ(from(definitions, "x"), "container");
}

TEST_F(DataManagerTest, PersonalDetailsRoundTripThroughShutDown)
{
    DataManager& manager = Manager();
    DataManager::Instance();
    EXPECT_TRUE(manager.GetPersonalDetails().author.Empty());
    EXPECT_TRUE(manager.GetPersonalDetails().isinputboxon);
    const TETLib::PersonalDetails written{Nyx::PString("A. Builder"), Nyx::PString("free to share"),
                                          Nyx::PString("Moor Works"), Nyx::PString("a@example.org"),
                                          Nyx::PString("example.org"), false};
    manager.GetPersonalDetails() = written;
    DataManager::Destroy();

    DataManager& again = Manager();
    DataManager::Instance();
    const TETLib::PersonalDetails& read = again.GetPersonalDetails();
    EXPECT_EQ(read.author, written.author);
    EXPECT_EQ(read.license, written.license);
    EXPECT_EQ(read.organisation, written.organisation);
    EXPECT_EQ(read.email, written.email);
    EXPECT_EQ(read.website, written.website);
    EXPECT_FALSE(read.isinputboxon);
    DataManager::Destroy();

    // A file without the flag reads it off.
    folder_.Write("TETData/personalDetails.txt", "author \"Someone\"\n");
    Manager();
    const TETLib::PersonalDetails& partial = DataManager::Instance().GetPersonalDetails();
    EXPECT_EQ(partial.author.Str(), "Someone");
    EXPECT_FALSE(partial.isinputboxon);
}

TEST_F(DataManagerTest, DetailsThatWereNeverReadAreNotWrittenOverTheUsersFile)
{
    folder_.Write("TETData/personalDetails.txt", "author \"Someone\"\nisinputboxon 1\n");
    const std::string before = folder_.ReadAll("TETData/personalDetails.txt");
    Manager();  // start-up stopped before the first load
    DataManager::Destroy();
    EXPECT_EQ(folder_.ReadAll("TETData/personalDetails.txt"), before);
}

TEST_F(DataManagerTest, AFailedWriteOfTheDetailsIsLoggedAndHarmless)
{
    folder_.MakeFolder("TETData/personalDetails.txt");
    Manager();
    DataManager::Instance();
    DataManager::Destroy();
    EXPECT_EQ(DataManager::Existing(), nullptr);
    EXPECT_TRUE(fs::is_directory(folder_ / "TETData/personalDetails.txt"));
    ASSERT_FALSE(LogLines().empty());
    EXPECT_EQ(LogLines().back(),
              "DataManager::WritePersonalDetails> Unable to write '" + DataFolder() + "personalDetails.txt'");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "TETData"), fs::directory_iterator()), 5);
}

TEST_F(DataManagerTest, RegistersFindNamesAndForgetContainersAndTagsWhenTheyGo)
{
    DataManager& manager = Manager();
    const Nyx::PString meshTable("mesh-table");
    const Nyx::PString other("other-list");
    auto entry = std::make_unique<TETLib::Container>();
    entry->SetName(Nyx::PString("default"));
    TETLib::Container keeper;
    keeper.SetName(Nyx::PString("kept"));
    manager.AddToList4(meshTable, entry.get());
    manager.AddToList4(other, entry.get());
    manager.AddToList4(other, &keeper);
    auto mesh = std::make_unique<TETLib::MeshData>(Nyx::PString("local/x/body.im"), entry->Serial());
    mesh->AttachmentPoints().push_back({{}, Nyx::PString("a.coupler")});
    TETLib::MeshData* kept = manager.StoreLoadedObject(Nyx::PString("body.im"), std::move(mesh));
    manager.SetCurrentObject(kept);
    manager.SetContainerMesh(entry->Serial(), kept);

    struct Case {
        const char* name;
        const Nyx::PString& key;
        bool before;
        bool after;  // once the entry container is gone
    };
    const Case cases[] = {
        {"default", meshTable, true, false}, {"kept", other, true, true},          {"kept", meshTable, false, false},
        {"a.coupler", other, true, false},   {"nothing", other, false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(manager.FindByFile(Nyx::PString(c.name), c.key), c.before) << c.name << " in " << c.key.Str();
    EXPECT_EQ(manager.FindContainerMesh(entry->Serial()), kept);
    const TETLib::ContainerSerial gone = entry->Serial();
    entry.reset();
    for (const Case& c : cases)
        EXPECT_EQ(manager.FindByFile(Nyx::PString(c.name), c.key), c.after) << c.name << " in " << c.key.Str();
    EXPECT_EQ(manager.GetLoadedObjectCount(), 0u);
    EXPECT_EQ(manager.GetCurrentObject(), nullptr);
    EXPECT_EQ(manager.FindContainerMesh(gone), nullptr);
    EXPECT_EQ(*manager.FindNamedItems(other), std::vector<TETLib::Container*>{&keeper});

    auto* a = reinterpret_cast<TETLib::Tag*>(0x10);
    auto* b = reinterpret_cast<TETLib::Tag*>(0x20);
    manager.AddToList3(Nyx::PString("queues"), a);
    manager.AddToList3(Nyx::PString("queues"), b);
    for (int i = 0; i < 2; ++i) {
        manager.AddToList8(a);  // once
        manager.AddToList9(a);
    }
    EXPECT_EQ(manager.GetTagList8().size(), 1u);
    EXPECT_EQ(manager.GetTagList9().size(), 2u);
    manager.UnregisterTag(a);
    EXPECT_EQ(*manager.FindTagList(Nyx::PString("queues")), std::vector<TETLib::Tag*>{b});
    EXPECT_TRUE(manager.GetTagList8().empty() && manager.GetTagList9().empty());
}

TEST_F(DataManagerTest, TheFolderNameIsGivenOrTheFirstComponentBelowTheContentRoot)
{
    DataManager& manager = Manager();
    SetContentRootPath(Nyx::File::Path(folder_.Path()));
    struct Case {
        std::string path;
        const char* name;
        const char* folderName;
        const char* folder;
    };
    const Case cases[] = {
        {folder_ / "local/wagon/", nullptr, "local", "local/wagon/"},
        {"editing/wagon/", "editing", "editing", "editing/wagon/"},
        {"editing/wagon/", nullptr, "editing", "editing/wagon/"},
        {"/elsewhere/wagon/", nullptr, "", "/elsewhere/wagon/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        manager.SetCurrentAssetFolder(Nyx::File::Path(c.path), c.name);
        EXPECT_EQ(manager.GetAssetFolderName().Str(), c.folderName);
        EXPECT_EQ(manager.GetAssetFolder().Str(), c.folder);
        EXPECT_EQ(manager.GetArchive() != nullptr, *c.folderName != 0);
        EXPECT_EQ(manager.GetRootPath().Str(), *c.folderName ? std::string(c.folderName) : folder_.Path());
    }
    SetContentRootPath(Nyx::File::Path());
}

TEST(DataManagerDeathTest, ReachingTheManagerBeforeItIsCreatedIsFatal)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_EQ(DataManager::Existing(), nullptr);
    EXPECT_EXIT(DataManager::Instance(), testing::ExitedWithCode(1), "DataManager::Instance> datamanger not initialised");
}

}  // namespace
