// enter_own_folder with executable paths that a test cannot give the real program.
#include <gtest/gtest.h>

#include "own_folder.h"
#include "seams.h"

namespace {

const std::string deep = "C:\\" + std::string(200, 'd');

struct Case {
    const char *name;
    std::string module_path;  // empty: GetModuleFileNameA fails
    const char *folder;       // NULL: the current directory is not changed
};

const Case cases[] = {
    {"usual", "C:\\Program Files\\Orvex\\uninstaller.exe", "C:\\Program Files\\Orvex"},
    {"forward slashes", "C:/Program Files/Orvex/uninstaller.exe", "C:/Program Files/Orvex"},
    {"last separator wins when mixed", "C:\\a/b\\c/uninstaller.exe", "C:\\a/b\\c"},
    {"root of a drive", "C:\\x.exe", "C:\\"},
    {"root of a drive, forward slash", "C:/x.exe", "C:/"},
    {"root of the current drive", "\\x.exe", "\\"},
    {"network share", "\\\\server\\share\\x.exe", "\\\\server\\share"},
    {"long-path prefix, root", "\\\\?\\C:\\x.exe", "\\\\?\\C:\\"},
    {"no separator", "uninstaller.exe", "uninstaller.exe"},
    {"path unknown", "", NULL},
    // Cut to 260 characters by the system and left unterminated.
    {"too long for the buffer", deep + "\\" + std::string(100, 'e') + "\\uninstaller.exe",
     deep.c_str()},
};

TEST(EnterOwnFolder, FolderOfTheExecutable)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reset_seams();
        seams.fake_module = true;
        seams.fake_folder = true;
        seams.module_path = c.module_path;
        seams.module_error = c.module_path.empty() ? ERROR_NOT_ENOUGH_MEMORY : 0;

        char path[MAX_PATH + 1];
        enter_own_folder(path, sizeof path);

        if (c.folder == NULL) {
            EXPECT_TRUE(seams.folders.empty());
        } else {
            ASSERT_EQ(seams.folders.size(), 1u);
            EXPECT_EQ(seams.folders[0], c.folder);
        }
    }
    reset_seams();
}

}  // namespace
