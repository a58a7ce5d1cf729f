// The application shell's plain parts: the executable's base name and folder, the start-up entry's
// fields and the writers' extension rule, the local time of the log headers.

#include "app/core/Executable.h"
#include "app/core/LocalTime.h"
#include "ui/autostart/StartupFields.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

TEST(Executable, BaseNameAndFolder)
{
    struct Row {
        const char* name;
        std::string path, baseName, folder;
    };
    const Row rows[] = {
        {"Plain", "/usr/bin/quorvel", "quorvel", "/usr/bin/"},
        {"Extension", "/opt/q/abc.exe", "abc", "/opt/q/"},
        {"LastExtensionOnly", "/opt/abc.tar.gz", "abc.tar", "/opt/"},
        {"DotInFolder", "/opt/a.b/abc", "abc", "/opt/a.b/"},
        {"NoFolder", "abc.exe", "abc", ""},
        {"Chinese", "/home/小明/朗读.exe", "朗读", "/home/小明/"},
#ifdef _WIN32
        {"Backslashes", "C:\\Tools\\a.exe", "a", "C:\\Tools\\"},
        {"MixedSeparators", "C:\\Program Files/Quorvel\\quorvel.exe", "quorvel", "C:\\Program Files/Quorvel\\"},
#else
        {"BackslashIsAName", "/opt/a\\b.exe", "a\\b", "/opt/"},
#endif
    };
    for (const Row& row : rows) {
        EXPECT_EQ(app::ExecutableBaseName(row.path), row.baseName) << row.name;
        EXPECT_EQ(app::FolderOf(row.path), row.folder) << row.name;
    }
}

TEST(StartupEntry, FieldsAndExtension)
{
#ifdef _WIN32
    const std::string target = "C:\\Tools\\a.exe";
    const std::string folder = "C:\\Tools\\";
#else
    const std::string target = "/opt/tools/a";
    const std::string folder = "/opt/tools/";
#endif
    EXPECT_EQ(autostart::StartupEntryFor(target), (autostart::StartupEntryFields{target, " -s", folder, "Quorvel"}));

    struct Row {
        std::string path;
        bool lnk;
    };
    const Row rows[] = {{"x/quorvel.lnk", true}, {"x/quorvel.Lnk", true}, {"x/quorvel.LNK", true},
                        {"x/quorvel.url", false}, {"x/quorvel", false},    {"x/quorvel.lnk.url", false},
                        {"x.lnk/quorvel", false}, {"x/.lnk", true},        {"x/quorvel.lnkx", false}};
    for (const Row& row : rows)
        EXPECT_EQ(autostart::HasExtension(row.path, ".lnk"), row.lnk) << row.path;
    EXPECT_EQ(autostart::WrongExtensionText("LNK"), "File Ext Must Be: \u2032\u2032LNK\u2032\u2032!");
}

// Run with TZ=UTC (see CMakeLists.txt).
TEST(LocalTime, ClockAndIsoDate)
{
    struct Row {
        std::int64_t utcSecond;
        std::string clock, isoDate;
    };
    const Row rows[] = {{0, "00:00:00", "1970-01-01T00:00:00"},
                        {1796720707, "09:05:07", "2026-12-08T09:05:07"},
                        {951825599, "11:59:59", "2000-02-29T11:59:59"}};
    for (const Row& row : rows) {
        const app::LocalSecond local = app::LocalSecondOf(row.utcSecond);
        EXPECT_EQ(local.clock, row.clock) << row.utcSecond;
        EXPECT_EQ(local.isoDate, row.isoDate) << row.utcSecond;
    }
    const app::LocalSecond& now = app::CurrentLocalSecond();
    EXPECT_EQ(&now, &app::CurrentLocalSecond());
    EXPECT_EQ(now.isoDate.substr(11), now.clock);
}

} // namespace
} // namespace quorvel
