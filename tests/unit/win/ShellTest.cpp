// The Windows shell layer under Wine: the shell links loaded back through IShellLinkW, the start-up
// shortcut on the table the Linux edition's desktop entries pass, the settings folder below
// %APPDATA%, and the single-instance guard (Wine needs a display for windows: the tests' Xvfb).

#include "win/shell/ShellLink.h"
#include "win/shell/System.h"

#include "../autostart/RunAtStartupContract.h"
#include "TempDir.h"
#include "app/settings/Files.h"
#include "app/settings/SettingsStore.h"

#include <knownfolders.h>

#include <gtest/gtest.h>

namespace quorvel::win {
namespace {

namespace fs = std::filesystem;
using autostart::StartupEntryFields;
using settings::files::Utf8FromPath;

std::string ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

TEST(ShellLink, FieldsAndExtension)
{
    quorvel::test::TempDir dir;
    struct Row {
        const char* name;
        std::string file;
        std::string error; // empty: written
    };
    const Row rows[] = {
        {"Lower", "a.lnk", ""},
        {"Mixed", "b.Lnk", ""},
        {"Upper", "c.LNK", ""},
        {"Chinese", "朗读.lnk", ""},
        {"Url", "d.url", "File Ext Must Be: \u2032\u2032LNK\u2032\u2032!"},
        {"NoExtension", "e", "File Ext Must Be: \u2032\u2032LNK\u2032\u2032!"},
    };
    for (const Row& row : rows) {
        const fs::path link = dir.path() / settings::files::PathFromUtf8(row.file);
        EXPECT_EQ(ErrorOf([&] { CreateShellLink("C:\\Tools\\a.exe", " -s", Utf8FromPath(link), "Quorvel"); }),
                  row.error)
            << row.name;
        if (row.error.empty())
            EXPECT_EQ(ReadShellLink(link), (StartupEntryFields{"C:\\Tools\\a.exe", " -s", "C:\\Tools\\", "Quorvel"}))
                << row.name;
        else
            EXPECT_FALSE(fs::exists(link)) << row.name;
    }
    // An existing link is replaced.
    CreateShellLink("C:\\Other\\b.exe", "", Utf8FromPath(dir.path() / "a.lnk"), "x");
    EXPECT_EQ(ReadShellLink(dir.path() / "a.lnk"), (StartupEntryFields{"C:\\Other\\b.exe", "", "C:\\Other\\", "x"}));
}

TEST(RunAtStartup, StartupShortcut)
{
    quorvel::test::TempDir dir;
    autostart::test::CheckRunAtStartup(
        [](const fs::path& folder, const std::string& baseName, const std::string& executable) {
            return std::make_unique<StartupShortcut>(folder, baseName, executable);
        },
        &ReadShellLink, dir.path(), ".lnk", "C:\\Program Files\\Quorvel\\quorvel.exe");
    // The user's own Startup folder is there for it.
    const fs::path startup = SpecialFolder(FOLDERID_Startup);
    EXPECT_TRUE(fs::is_directory(startup)) << Utf8FromPath(startup);
    EXPECT_EQ(Utf8FromPath(startup).back(), '\\');
}

// The same store as on Linux, in %APPDATA%\<base name>\.
TEST(Settings, FolderBelowAppData)
{
    const fs::path appData = SpecialFolder(FOLDERID_RoamingAppData);
    const fs::path folder = SettingsFolder("quorvel-settings-test");
    EXPECT_EQ(folder, appData / "quorvel-settings-test" / "");
    EXPECT_EQ(Utf8FromPath(folder).back(), '\\');
    const settings::SettingsStore store(folder / "set.ini");
    store.save({.rate = 4, .volume = 30, .engine = 1, .cbme = false});
    EXPECT_EQ(store.load(), (settings::StoredSettings{.engine = 1, .rate = 4, .volume = 30, .cbme = false}));
    EXPECT_EQ(quorvel::test::ReadFile(folder / "set.ini").substr(0, 29), "[set]\nRate=4\nVolume=30\nEngine");
    fs::remove_all(folder);
}

TEST(SingleInstance, GuardFindsTheWindow)
{
    EXPECT_FALSE(AnotherInstanceRuns());
    {
        const InstanceWindow window;
        ASSERT_NE(window.handle(), nullptr) << "no display for Wine's windows";
        EXPECT_FALSE(IsWindowVisible(window.handle()));
        EXPECT_TRUE(AnotherInstanceRuns());
    }
    EXPECT_FALSE(AnotherInstanceRuns());
}

TEST(System, VersionAndExecutable)
{
    EXPECT_GE(WindowsMajorVersion().value_or(0), 5);
    EXPECT_TRUE(ExecutablePath().ends_with("\\win_shell_test.exe")) << ExecutablePath();
}

} // namespace
} // namespace quorvel::win
