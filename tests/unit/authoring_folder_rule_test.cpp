// The folder rule, which the program applies when it removes and the tool when it checks and
// sizes a package: both place every record's folder alike, or the tool would vouch for paths
// the program never touches.
#include <gtest/gtest.h>

#include <string>

#include "base/run_context.h"
#include "removal/resolve_folder.h"
#include "tools/tidewell-log/folder_rule.h"
#include "tools/tidewell-log/known_folders.h"

namespace {

TEST(FolderRule, TheProgramAndTheToolPlaceEveryFolderAlike) {
    const char* const folders[] = {
        "",         ".",           ".\\",          ".\\sub",         ".\\sub\\deep", "..\\x",       ".name",
        "./x",      ".\\.\\x",     "sub",          "sub\\dir",       "sub/dir",      "\\Tools",     "/Tools",
        "C:Tools",  "C:",          "C:\\Abs",      "C:/Abs\\x",      "c:\\a\\.\\b\\..\\c", "\\\\server\\share\\x",
        "//server/share", "X:\\",  "D:\\dir. ",    "1:\\odd",
    };
    for (const char* installDir : {"C:\\Program Files\\Pkg\\", "D:\\"}) {
        char install[PATH_SIZE];
        ASSERT_LT(std::string(installDir).size(), sizeof install);
        std::string(installDir).copy(install, sizeof install);
        install[std::string(installDir).size()] = 0;
        ResetRunContext();
        run.installDir = install;
        for (const char* folder : folders) {
            SCOPED_TRACE(std::string(installDir) + " | " + folder);
            char path[PATH_SIZE];
            int placed = ResolveFolder(folder, path);
            std::string tool = tidewell::InstalledFolder(folder, installDir);
            EXPECT_EQ(placed != 0, !tool.empty());
            EXPECT_EQ(DependsOnCurrentFolder(folder) != 0, tidewell::KindOf(folder) == tidewell::FolderKind::Skipped);
            if (!placed) continue;
            // The tool gives an absolute folder in its full form; the program hands the system the
            // folder as it stands, and the system resolves it to that same form.
            if (tidewell::KindOf(folder) == tidewell::FolderKind::Absolute)
                EXPECT_EQ(tidewell::FullFormOf(path), tool);
            else
                EXPECT_EQ(std::string(path), tool);
        }
        run.installDir = nullptr;
    }
}

}  // namespace
