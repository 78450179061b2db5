// The data manager over a copy of the shipped validation data: the first
// load, the definitions merge, the personal details, the registers and the
// tear-down.
#include "tetlib/data/DataManager.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TETLibTestSupport.h"
#include "config/TDBContainerTag.h"
#include "core/ContentRoot.h"
#include "tetlib/container/Container.h"
#include "tetlib/data/MeshData.h"

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

TEST_F(DataManagerTest, TheFirstInstanceLoadsTheShippedDataOnce)
{
    DataManager& manager = Manager();
    EXPECT_FALSE(manager.IsLoaded());
    DataManager& same = DataManager::Instance();
    EXPECT_EQ(&same, &manager);
    EXPECT_TRUE(manager.IsLoaded());
    // The daemon could not be asked: the default locale.
    EXPECT_EQ(manager.GetLocaleId(), 0x0C09u);

    for (const char* file : {"container.txt", "inheritance.txt", "kind.txt", "newFormTemplate.txt"})
        EXPECT_EQ(manager.GetFolderFiles().count(Nyx::PString(file)), 1u) << file;
    const std::vector<std::string> form = Texts(manager.GetNewFormTemplate());
    ASSERT_GE(form.size(), 2u);
    EXPECT_EQ(form.front(), "kuid");
    EXPECT_EQ(form.back(), "imagelist");

    // Files added later are not read: the load ran once.
    folder_.Write("TETData/late.txt", "x\n");
    DataManager::Instance();
    EXPECT_EQ(manager.GetFolderFiles().count(Nyx::PString("late.txt")), 0u);
}

TEST_F(DataManagerTest, AMissingDataFolderLoadsNothingAndIsNotTriedAgain)
{
    DataManager::Create(folder_ / "NoSuchFolder/");
    DataManager& manager = DataManager::Instance();
    EXPECT_TRUE(manager.IsLoaded());
    EXPECT_TRUE(manager.GetFolderFiles().empty());
    EXPECT_TRUE(manager.GetNewFormTemplate().empty());
    EXPECT_TRUE(manager.GetPersonalDetails().isinputboxon);
    EXPECT_FALSE(manager.LoadDataFiles());
    // Nowhere to keep the details: shut-down writes nothing.
    DataManager::Destroy();
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
        {"queues", {"coal", "mail"}},
        {"QUEUES", {"coal", "mail"}},
        {"effects", {"steam"}},  // "<source>.txt" comes first
        {"queues.txt", {"coal", "mail"}},  // as "<source>"
        {"queue", {}},
        {"nothing", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const std::vector<Nyx::PString>* list = manager.FindPossibilityList(Nyx::PString(c.source));
        if (c.choices.empty()) {
            EXPECT_EQ(list, nullptr);
            continue;
        }
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(Texts(*list), c.choices);
    }
}

TEST_F(DataManagerTest, LaterDefinitionsReplaceEarlierOnesOfTheSameName)
{
    folder_.Write("TETData/inheritance.txt", "x\n{\n  from \"inheritance\"\n}\nonly-inheritance\n{\n}\n");
    folder_.Write("TETData/kind.txt", "x\n{\n  from \"kind\"\n}\ny\n{\n  from \"kind, first\"\n}\n"
                                      "y\n{\n  from \"kind, second\"\n}\nplain-value 1\n");
    folder_.Write("TETData/container.txt", "x\n{\n  from \"container\"\n}\n");
    DataManager& manager = Manager();
    manager.LoadDefinitions();
    const ChunkRef definitions = manager.GetDefinitions();
    struct Case {
        const char* name;
        const char* from;  // null: a definition without "from"; "": none at all
    };
    const Case cases[] = {
        {"x", "container"},
        {"y", "kind, second"},
        {"only-inheritance", nullptr},
        {"plain-value", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChunkRef child = TDBContainerTag::GetChildContainer(definitions, Nyx::PString(c.name));
        if (c.from && !*c.from) {
            EXPECT_FALSE(child);
            continue;
        }
        ASSERT_TRUE(child);
        EXPECT_EQ(TDBContainerTag::GetString(child, Nyx::PString("from")).Str(), c.from ? c.from : "");
    }
    EXPECT_EQ(definitions.ChildCount(), 3u);

    // Merged once: a changed file is not read again.
    folder_.Write("TETData/container.txt", "x\n{\n  from \"changed\"\n}\n");
    manager.LoadDefinitions();
    EXPECT_TRUE(manager.GetDefinitions() == definitions);
    EXPECT_EQ(TDBContainerTag::GetString(TDBContainerTag::GetChildContainer(definitions, Nyx::PString("x")),
                                         Nyx::PString("from"))
                  .Str(),
              "container");
}

TEST_F(DataManagerTest, PersonalDetailsRoundTripThroughShutDown)
{
    ASSERT_FALSE(folder_.Has("TETData/personalDetails.txt"));
    {
        DataManager& manager = Manager();
        DataManager::Instance();
        const TETLib::PersonalDetails& details = manager.GetPersonalDetails();
        EXPECT_TRUE(details.author.Empty());
        EXPECT_TRUE(details.isinputboxon);
        TETLib::PersonalDetails& changed = manager.GetPersonalDetails();
        changed.author = Nyx::PString("A. Builder");
        changed.license = Nyx::PString("free to share");
        changed.organisation = Nyx::PString("Moor Works");
        changed.email = Nyx::PString("a@example.org");
        changed.website = Nyx::PString("example.org");
        changed.isinputboxon = false;
    }
    DataManager::Destroy();
    ASSERT_TRUE(folder_.Has("TETData/personalDetails.txt"));

    DataManager& again = Manager();
    DataManager::Instance();
    const TETLib::PersonalDetails& read = again.GetPersonalDetails();
    EXPECT_EQ(read.author.Str(), "A. Builder");
    EXPECT_EQ(read.license.Str(), "free to share");
    EXPECT_EQ(read.organisation.Str(), "Moor Works");
    EXPECT_EQ(read.email.Str(), "a@example.org");
    EXPECT_EQ(read.website.Str(), "example.org");
    EXPECT_FALSE(read.isinputboxon);
}

TEST_F(DataManagerTest, AFileWithoutTheFlagReadsItOff)
{
    folder_.Write("TETData/personalDetails.txt", "author \"Someone\"\n");
    DataManager& manager = Manager();
    DataManager::Instance();
    EXPECT_EQ(manager.GetPersonalDetails().author.Str(), "Someone");
    EXPECT_TRUE(manager.GetPersonalDetails().email.Empty());
    EXPECT_FALSE(manager.GetPersonalDetails().isinputboxon);
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
    DataManager::Create(DataFolder());
    DataManager::Instance();
    DataManager::Destroy();
    EXPECT_EQ(DataManager::Existing(), nullptr);
    EXPECT_TRUE(fs::is_directory(folder_ / "TETData/personalDetails.txt"));
    const std::vector<std::string> log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "DataManager::WritePersonalDetails> Unable to write '" + DataFolder() + "personalDetails.txt'");
    // Nothing of the attempt is left in the folder.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder_ / "TETData"))
        ++entries;
    EXPECT_EQ(entries, 5u);
}

TEST_F(DataManagerTest, RegistersFindNamesAndForgetAContainerWhenItGoes)
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
        const Nyx::PString* key;
        bool found;
    };
    const Case before[] = {
        {"default", &meshTable, true},  {"kept", &other, true},       {"kept", &meshTable, false},
        {"a.coupler", &meshTable, true}, {"a.coupler", &other, true}, {"nothing", &other, false},
    };
    for (const Case& c : before)
        EXPECT_EQ(manager.FindByFile(Nyx::PString(c.name), *c.key), c.found) << c.name << " in " << c.key->Str();
    EXPECT_EQ(manager.FindContainerMesh(entry->Serial()), kept);

    entry.reset();
    EXPECT_EQ(manager.GetLoadedObjectCount(), 0u);
    EXPECT_EQ(manager.GetCurrentObject(), nullptr);
    EXPECT_TRUE(manager.FindNamedItems(meshTable)->empty());
    ASSERT_EQ(manager.FindNamedItems(other)->size(), 1u);
    EXPECT_EQ(manager.FindNamedItems(other)->front(), &keeper);
    EXPECT_FALSE(manager.FindByFile(Nyx::PString("a.coupler"), other));
}

TEST_F(DataManagerTest, TagListsAddOnceWhereTheyShouldAndForgetATag)
{
    DataManager& manager = Manager();
    auto* a = reinterpret_cast<TETLib::Tag*>(0x10);
    auto* b = reinterpret_cast<TETLib::Tag*>(0x20);
    const Nyx::PString queues("queues");
    manager.AddToList3(queues, a);
    manager.AddToList3(queues, b);
    manager.AddToList8(a);
    manager.AddToList8(a);
    manager.AddToList9(a);
    manager.AddToList9(a);
    EXPECT_EQ(manager.FindTagList(queues)->size(), 2u);
    EXPECT_EQ(manager.GetTagList8().size(), 1u);
    EXPECT_EQ(manager.GetTagList9().size(), 2u);
    manager.UnregisterTag(a);
    EXPECT_EQ(*manager.FindTagList(queues), std::vector<TETLib::Tag*>{b});
    EXPECT_TRUE(manager.GetTagList8().empty());
    EXPECT_TRUE(manager.GetTagList9().empty());
}

TEST_F(DataManagerTest, TheFolderNameIsGivenOrTheFirstComponentBelowTheContentRoot)
{
    DataManager& manager = Manager();
    const Nyx::File::Path root(folder_.Path());
    SetContentRootPath(root);
    folder_.MakeFolder("local/wagon");
    manager.SetCurrentAssetFolder(Nyx::File::Path(folder_ / "local/wagon/"), nullptr);
    EXPECT_EQ(manager.GetAssetFolderName().Str(), "local");
    EXPECT_EQ(manager.GetAssetFolder().Str(), "local/wagon/");
    EXPECT_EQ(manager.GetRootPath().Str(), "local");
    EXPECT_NE(manager.GetArchive(), nullptr);

    for (const char* name : {"editing", static_cast<const char*>(nullptr)}) {
        manager.SetCurrentAssetFolder(Nyx::File::Path("editing/wagon/"), name);
        EXPECT_EQ(manager.GetAssetFolderName().Str(), "editing");
        EXPECT_EQ(manager.GetAssetFolder().Str(), "editing/wagon/");
    }

    manager.SetCurrentAssetFolder(Nyx::File::Path("/elsewhere/wagon/"), nullptr);
    EXPECT_TRUE(manager.GetAssetFolderName().Empty());
    EXPECT_EQ(manager.GetArchive(), nullptr);
    EXPECT_EQ(manager.GetRootPath().Str(), folder_.Path());
    SetContentRootPath(Nyx::File::Path());
}

TEST_F(DataManagerTest, ConvertToAnsiKeepsTheUtf8Text)
{
    EXPECT_EQ(DataManager::ConvertToAnsi("Zürich").Str(), "Zürich");
    EXPECT_TRUE(DataManager::ConvertToAnsi(nullptr).Empty());
}

TEST(DataManagerDeathTest, ReachingTheManagerBeforeItIsCreatedIsFatal)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_EQ(DataManager::Existing(), nullptr);
    EXPECT_EXIT(DataManager::Instance(), testing::ExitedWithCode(1), "DataManager::Instance> datamanger not initialised");
}

}  // namespace
