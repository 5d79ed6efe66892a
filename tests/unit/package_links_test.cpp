// Folder links in the package's tree: what lies behind one is never the package's, in any phase
// and whichever way a record spells its way there; outside the installation folder nothing
// changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "folder_world.h"
#include "log/log_format.h"
#include "removal/phases.h"
#include "test_support.h"

namespace {

const std::string kPkg = "C:\\Program Files\\Pkg";
// Where the package's links lead: a user's own documents.
const std::string kElsewhere = "C:\\Users\\Ann\\Documents\\Data";
constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

class PackageLinks : public test::FolderPhaseTest {
protected:
    // Makes the folder a link: in the stand-in, a folder with the reparse-point attribute whose
    // entries stand for what the link leads to.
    static void MakeLink(const std::string& folder) {
        fake::AddFolder(folder);
        fake::SetAttributes(folder, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    }
    static std::vector<std::string> Run(void (*phase)()) {
        fake::ClearJournal();
        phase();
        return fake::DestructiveCalls();
    }
    static std::string Deleted(const std::string& path) { return "DeleteFileA " + path + " -> ok"; }
};

TEST_F(PackageLinks, NothingBehindALinkAtAnyLevelIsDeletedUnloadedUnregisteredOrCounted) {
    MakeLink(kPkg + "\\bin");          // the first level below the installation folder
    MakeLink(kPkg + "\\data\\maps");   // a deeper one
    MakeLink(kPkg + "\\cache");        // named by a record as its folder
    const std::vector<std::string> behind = {kPkg + "\\bin\\app.dll", kPkg + "\\bin\\face.ttf", kPkg + "\\bin\\deep\\x.txt",
                                             kPkg + "\\data\\maps\\north.map", kPkg + "\\cache\\c.bin"};
    for (const std::string& file : behind) fake::AddFile(file);
    fake::AddFile(kPkg + "\\data\\readme.txt");
    fake::AddFontResource(kPkg + "\\bin\\face.ttf");
    fake::AddModule(kPkg + "\\bin\\app.dll", [] { ADD_FAILURE() << "a module behind a link was unregistered"; });
    fake::RegSetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kPkg + "\\bin\\app.dll", 1);
    fake::SetShortName(kPkg, "C:\\PROGRA~1\\Pkg");
    test::SetFileRecords({{".\\bin", "app.dll", FILE_SHARED | FILE_SELFREG},
                          {".\\bin", "face.ttf", FILE_FONT},
                          {"bin\\deep", "x.txt"},
                          {kPkg + "\\data\\maps", "north.map"},  // an absolute path into the installation folder
                          {"C:\\PROGRA~1\\Pkg\\cache", "c.bin"},  // and one in short names
                          {".\\data", "maps\\north.map"},         // a name that brings a level of its own
                          {".\\cache", ""},                      // the link itself, as an emptied folder
                          {".\\data", "readme.txt"}});

    EXPECT_EQ(Run(RemoveInstalledFiles), std::vector<std::string>{Deleted(kPkg + "\\data\\readme.txt")});
    for (const std::string& file : behind) EXPECT_TRUE(fake::Exists(file)) << file;
    EXPECT_TRUE(fake::FontResourceLoaded(kPkg + "\\bin\\face.ttf"));
    EXPECT_EQ(fake::RegGetDword(HKEY_LOCAL_MACHINE, kSharedDlls, kPkg + "\\bin\\app.dll"), 1u);
    EXPECT_TRUE(fake::Boxes().empty());

    // Pruning neither removes a link nor walks up from behind one: only the package's own folder
    // is tried, which holds a link.
    EXPECT_EQ(Run(PruneEmptyFolders), std::vector<std::string>{"RemoveDirectoryA " + kPkg + "\\data -> error 145"});
    EXPECT_TRUE(fake::Exists(kPkg + "\\bin"));
    EXPECT_TRUE(fake::Exists(kPkg + "\\cache"));
}

TEST_F(PackageLinks, FolderRecordsBelowTheInstallationFolderStopAtALink) {
    MakeLink(kPkg + "\\menu");
    fake::AddFile(kPkg + "\\menu\\Run.lnk");
    fake::AddFolder(kPkg + "\\menu\\empty");
    test::SetFolderRecords({{".\\menu", "Run.lnk"}, {kPkg + "\\menu\\empty", ""}, {kPkg + "\\menu", ""}});
    EXPECT_TRUE(Run(RemoveFolderRecords).empty());
    EXPECT_TRUE(fake::Exists(kPkg + "\\menu\\Run.lnk"));
    EXPECT_TRUE(fake::Exists(kPkg + "\\menu\\empty"));
}

TEST_F(PackageLinks, OutsideThePackageALinkBelowAWellKnownFolderOrTheDriveRootIsNeverFollowed) {
    // Another user replaced a vendor's data folder under the all-users application data by a link,
    // and made one in a folder of their own at the drive's root.
    fake::SetSpecialFolder(CSIDL_COMMON_APPDATA, "C:\\ProgramData");
    MakeLink("C:\\ProgramData\\Vendor\\data");
    MakeLink("C:\\Data\\Linked");
    for (const char* file : {"C:\\ProgramData\\Vendor\\data\\pkg.dll", "C:\\Data\\Linked\\pkg.dat", "C:\\ProgramData\\Vendor\\own.ini"})
        fake::AddFile(file);
    fake::AddModule("C:\\ProgramData\\Vendor\\data\\pkg.dll", [] { ADD_FAILURE() << "a module behind a link was loaded"; });
    // A link at or above the well-known folder is the system's: a moved profile still goes.
    fake::SetSpecialFolder(CSIDL_APPDATA, "C:\\Users\\Ann\\AppData\\Roaming");
    fake::SetAttributes("C:\\Users", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    fake::AddFile("C:\\Users\\Ann\\AppData\\Roaming\\Pkg\\settings.ini");
    test::SetFileRecords({{"C:\\ProgramData\\Vendor\\data", "pkg.dll", FILE_SELFREG},
                          {"C:\\Data\\Linked", "pkg.dat"},
                          {"C:\\ProgramData\\Vendor", "own.ini"},
                          {"C:\\Users\\Ann\\AppData\\Roaming\\Pkg", "settings.ini"}});
    EXPECT_EQ(Run(RemoveInstalledFiles), (std::vector<std::string>{Deleted("C:\\ProgramData\\Vendor\\own.ini"),
                                                                  Deleted("C:\\Users\\Ann\\AppData\\Roaming\\Pkg\\settings.ini")}));
    EXPECT_EQ(fake::LoadedModules(), 0);
    EXPECT_EQ(fake::OpenHandles(), 0u) << "the phase lets go of every level it held";
}

TEST_F(PackageLinks, OnlyNameSurrogateReparsePointsAreLinks) {
    // A cloud placeholder is an ordinary folder; a junction, or a tag that cannot be had, is not.
    for (auto [tag, followed] : {std::pair<DWORD, bool>{0x9000001Au, true}, {IO_REPARSE_TAG_MOUNT_POINT, false},
                                 {IO_REPARSE_TAG_SYMLINK, false}, {0u, false}}) {
        SCOPED_TRACE(tag);
        MakeLink(kPkg + "\\docs");
        fake::SetReparseTag(kPkg + "\\docs", tag);
        fake::AddFile(kPkg + "\\docs\\help.txt");
        test::SetFileRecords({{".\\docs", "help.txt"}});
        EXPECT_EQ(Run(RemoveInstalledFiles).size(), followed ? 1u : 0u);
    }
}

TEST_F(PackageLinks, AFolderHeldOpenCannotBeRemovedUntilItsLevelIsLetGo) {
    // Each level looked at is held: another program could not rename it, and the phase itself
    // lets go of a level before it removes it.
    fake::AddFile(kPkg + "\\a\\b\\1");
    test::SetFileRecords({{".\\a\\b", "1"}, {".\\a\\b", ""}, {".\\a", ""}});
    EXPECT_EQ(Run(RemoveInstalledFiles), (std::vector<std::string>{Deleted(kPkg + "\\a\\b\\1"), "RemoveDirectoryA " + kPkg + "\\a\\b -> ok",
                                                                  "RemoveDirectoryA " + kPkg + "\\a -> ok"}));
    EXPECT_EQ(fake::OpenHandles(), 0u);
}

TEST_F(PackageLinks, ARunOfRecordsAsksTheFileSystemOnceForEachNewLevel) {
    for (const char* file : {"a\\b\\1", "a\\b\\2", "a\\b\\3", "a\\b\\4", "a\\c\\5", "a\\c\\6"}) fake::AddFile(kPkg + "\\" + file);
    test::SetFileRecords({{".\\a\\b", "1"}, {".\\a\\b", "2"}, {".\\a\\b", "3"}, {".\\a\\b", "4"}, {".\\a\\c", "5"}, {".\\a\\c", "6"}});
    Run(RemoveInstalledFiles);
    EXPECT_EQ(fake::Calls({"GetFileAttributesA"}),
              (std::vector<std::string>{"GetFileAttributesA " + kPkg + "\\a -> ok", "GetFileAttributesA " + kPkg + "\\a\\b -> ok",
                                        "GetFileAttributesA " + kPkg + "\\a\\c -> ok"}));
    EXPECT_TRUE(fake::Tree(kPkg + "\\a") == (std::vector<std::string>{kPkg + "\\a\\b", kPkg + "\\a\\c"}));
}

TEST_F(PackageLinks, APathWhoseFullFormCannotBeHadIsLeftAlone) {
    fake::AddFile(kPkg + "\\bin\\app.dll");
    test::SetFileRecords({{".\\bin", "app.dll"}});
    fake::FailCall("GetFullPathNameA", 1, fake::kFailForever, 206 /* ERROR_FILENAME_EXCED_RANGE */);
    EXPECT_TRUE(Run(RemoveInstalledFiles).empty());
    EXPECT_TRUE(fake::Exists(kPkg + "\\bin\\app.dll"));
}

}  // namespace
