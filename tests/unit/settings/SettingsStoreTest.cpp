// The settings store on real files: defaults, integer rules, what a save keeps, atomic replacement,
// and the folder's errors.

#include "app/settings/SettingsStore.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace quorvel::settings;
using quorvel::test::ReadFile;
using quorvel::test::TempDir;
using quorvel::test::WriteFile;

namespace quorvel::settings {
void PrintTo(const StoredSettings& s, std::ostream* os)
{
    *os << "{engine " << s.engine << ", engine1 " << s.engine1 << ", rate " << s.rate << ", rate1 " << s.rate1
        << ", volume " << s.volume << ", volume1 " << s.volume1 << ", flags " << s.cbme << s.cbfriend << s.cbmyname
        << s.cbfriendsname << s.cbmyex << s.cbfriendsex << s.showtime << "}";
}
} // namespace quorvel::settings

namespace {

template <typename Row> std::string RowName(const testing::TestParamInfo<Row>& info)
{
    return info.param.name;
}

int EntryCount(const fs::path& dir)
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

#ifndef _WIN32
// Runs `work` in a forked child (after `prepare`) and returns what it returned.
std::string RunInChild(const std::function<bool()>& prepare, const std::function<std::string()>& work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string result = prepare() ? work() : "\x01prepare failed";
        [[maybe_unused]] auto n = ::write(fds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string result;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        result.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return "child died";
    return result;
}

// What `work` returns when run by a user to whom permissions apply. As root that is a child that
// has become "nobody"; nullopt when that is not possible.
std::optional<std::string> RunUnprivileged(const std::function<std::string()>& work)
{
    if (::geteuid() != 0)
        return work();
    const auto drop = [] { return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0; };
    auto result = RunInChild(drop, work);
    if (result.rfind("\x01", 0) == 0)
        return std::nullopt;
    return result;
}

#endif

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const SettingsError& e) {
        return e.what();
    }
    return "no error";
}

// --- integers ----------------------------------------------------------------------------------

struct IntRow {
    std::string name;
    std::string text;
    int expected; // with fallback -77
};

class ParseProfileIntTest : public testing::TestWithParam<IntRow> {};

TEST_P(ParseProfileIntTest, Value)
{
    EXPECT_EQ(ParseProfileInt(GetParam().text, -77), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseProfileIntTest,
    testing::Values(
        IntRow{"Empty", "", -77}, IntRow{"Zero", "0", 0}, IntRow{"Decimal", "42", 42}, IntRow{"Negative", "-5", -5},
        IntRow{"LeadingZeros", "00012", 12}, IntRow{"NotANumber", "abc", -77}, IntRow{"HexLower", "0x2", 2},
        IntRow{"HexUpperPrefix", "0X1f", 31}, IntRow{"HexLeadingZeros", "0x00000000000001", 1},
        IntRow{"DollarHex", "$2", 2}, IntRow{"DollarHexDigits", "$fF", 255}, IntRow{"PrefixOnly", "0x", -77},
        IntRow{"HexRestNotHex", "0xg", -77}, IntRow{"HexRestSigned", "0x-1", -77}, IntRow{"DollarOnly", "$", -77},
        IntRow{"DollarSigned", "$-1", -77}, IntRow{"MinusOnly", "-", -77}, IntRow{"PlusSign", "+5", -77},
        IntRow{"LeadingBlank", " 5", -77}, IntRow{"TrailingBlank", "5 ", -77}, IntRow{"TrailingText", "5x", -77},
        IntRow{"Fraction", "1.5", -77}, IntRow{"Exponent", "1e3", -77}, IntRow{"FullWidthDigits", "１２", -77},
        IntRow{"Max", "2147483647", INT_MAX}, IntRow{"Min", "-2147483648", INT_MIN},
        IntRow{"AboveMax", "2147483648", -77}, IntRow{"BelowMin", "-2147483649", -77},
        IntRow{"HugeDecimal", std::string(40, '9'), -77}, IntRow{"HexMax", "0x7fffffff", INT_MAX},
        IntRow{"HexOverflow", "0x80000000", -77}, IntRow{"DollarOverflow", "$FFFFFFFF", -77}),
    RowName<IntRow>);

// --- load --------------------------------------------------------------------------------------

struct LoadRow {
    std::string name;
    std::optional<std::string> file; // nullopt: there is no file
    StoredSettings expected;
};

class LoadTest : public testing::TestWithParam<LoadRow> {};

TEST_P(LoadTest, Values)
{
    TempDir dir;
    const auto path = dir.path() / "set.ini";
    if (GetParam().file)
        WriteFile(path, *GetParam().file);
    EXPECT_EQ(SettingsStore(path).load(), GetParam().expected);
}

const std::string AllKeys =
    "[set]\nRate=-3\nVolume=40\nEngine=1\nRate1=7\nVolume1=60\nEngine1=2\ncbme=0\ncbfriend=1\ncbmyname=0\n"
    "cbfriendsname=0\ncbmyex=1\ncbfriendsex=0\nshowtime=0\n";

INSTANTIATE_TEST_SUITE_P(
    Table, LoadTest,
    testing::Values(
        LoadRow{"NoFile", std::nullopt, {}}, LoadRow{"EmptyFile", "", {}},
        LoadRow{"AllKeys",
                AllKeys,
                {.engine = 1,
                 .engine1 = 2,
                 .rate = -3,
                 .rate1 = 7,
                 .volume = 40,
                 .volume1 = 60,
                 .cbme = false,
                 .cbfriend = true,
                 .cbmyname = false,
                 .cbfriendsname = false,
                 .cbmyex = true,
                 .cbfriendsex = false,
                 .showtime = false}},
        // The track bars clamp; the store hands the stored numbers on.
        LoadRow{"RateAndVolumeUnclamped", "[set]\nRate=25\nVolume=-5\n", {.rate = 25, .volume = -5}},
        LoadRow{"VolumeNotANumber", "[set]\nVolume=abc\n", {}},
        LoadRow{"EngineHex", "[set]\nEngine=0x2\nEngine1=$2\n", {.engine = 2, .engine1 = 2}},
        LoadRow{"FlagTwoIsTrue", "[set]\ncbme=2\ncbfriend=-1\n", {}},
        LoadRow{"FlagNotANumberKeepsDefault", "[set]\ncbme=yes\n", {}},
        LoadRow{"UpperCaseNames", "[SET]\nRATE=3\nCBME=0\n", {.rate = 3, .cbme = false}},
        LoadRow{"MixedCaseNames", "[Set]\nvOlUmE1=7\nShowTime=0\n", {.volume1 = 7, .showtime = false}},
        LoadRow{"OtherSectionIgnored", "[other]\nRate=5\n[set]\nVolume=9\n", {.volume = 9}},
        LoadRow{"CommentsIgnored", "; Rate=5\n[set]\n; Volume=1\nVolume=2\n", {.volume = 2}},
        LoadRow{"CrLf", "[set]\r\nRate=4\r\nshowtime=0\r\n", {.rate = 4, .showtime = false}},
        LoadRow{"QuotedValue", "[set]\nRate=\"6\"\n", {.rate = 6}},
        LoadRow{"BlanksAround", "[set]\n  Rate  =  6  \n", {.rate = 6}},
        LoadRow{"LinksOffAndNoLimit", "[set]\nspeaklinks=0\nmaxspoken=0\n", {.speaklinks = false, .maxspoken = 0}},
        LoadRow{"MaxSpokenHex", "[set]\nMaxSpoken=0x40\n", {.maxspoken = 64}},
        LoadRow{"MaxSpokenNegativeIsDefault", "[set]\nmaxspoken=-5\n", {}},
        LoadRow{"MaxSpokenNotANumber", "[set]\nmaxspoken=lots\nspeaklinks=no\n", {}},
        LoadRow{"PortsAddedAndSorted", "[set]\nports=8080  1863 1864 1863\n", {.ports = {1863, 1864, 8080}}},
        LoadRow{"OnePort", "[set]\nPorts=\"443\"\n", {.ports = {443}}},
        LoadRow{"PortsUnreadableIsDefault", "[set]\nports=1863,1864\n", {}},
        LoadRow{"PortOutOfRangeIsDefault", "[set]\nports=1863 99999\n", {}},
        LoadRow{"NoPortsIsDefault", "[set]\nports=\n", {}},
        // Only the first 2047 characters count: the junk at character 2048 is not seen.
        LoadRow{"ValueCutAt2047", "[set]\nRate=-" + std::string(2045, '0') + "5x\n", {.rate = -5}}),
    RowName<LoadRow>);

#ifndef _WIN32
TEST(Load, UnreadableFileGivesDefaults)
{
    TempDir dir;
    const auto path = dir.path() / "set.ini";
    WriteFile(path, "[set]\nRate=5\n");
    fs::permissions(path, fs::perms::none);
    const auto result = RunUnprivileged([&] { return std::to_string(SettingsStore(path).load().rate); });
    if (!result)
        GTEST_SKIP() << "cannot become an unprivileged user";
    EXPECT_EQ(*result, "0");
}
#endif

// --- save --------------------------------------------------------------------------------------

struct SaveRow {
    std::string name;
    std::optional<std::string> before;
    SettingsToSave values;
    std::string after;
};

class SaveTest : public testing::TestWithParam<SaveRow> {};

TEST_P(SaveTest, FileText)
{
    TempDir dir;
    const auto path = dir.path() / "set.ini";
    if (GetParam().before)
        WriteFile(path, *GetParam().before);
    SettingsStore(path).save(GetParam().values);
    EXPECT_EQ(ReadFile(path), GetParam().after);
    EXPECT_EQ(EntryCount(dir.path()), 1) << "a temporary file was left behind";
}

const SettingsToSave Mixed{.rate = 10,
                           .rate1 = -10,
                           .volume = 0,
                           .volume1 = 55,
                           .engine = 2,
                           .engine1 = 0,
                           .cbme = true,
                           .cbfriend = false,
                           .cbmyname = true,
                           .cbfriendsname = false,
                           .cbmyex = true,
                           .cbfriendsex = false,
                           .showtime = false,
                           .speaklinks = false,
                           .maxspoken = 120,
                           .ports = {8080, 1863}};

INSTANTIATE_TEST_SUITE_P(
    Table, SaveTest,
    testing::Values(
        SaveRow{"NewFileInSaveOrder", std::nullopt, Mixed,
                "[set]\nRate=10\nVolume=0\nEngine=2\nRate1=-10\nVolume1=55\nEngine1=0\ncbme=1\ncbfriend=0\n"
                "cbmyname=1\ncbfriendsname=0\ncbmyex=1\ncbfriendsex=0\nshowtime=0\nspeaklinks=0\nmaxspoken=120\nports=1863 8080\n"},
        SaveRow{"NewFileWithoutVoices", std::nullopt, SettingsToSave{},
                "[set]\nRate=0\nVolume=100\nRate1=0\nVolume1=100\ncbme=1\ncbfriend=1\ncbmyname=1\n"
                "cbfriendsname=1\ncbmyex=1\ncbfriendsex=1\nshowtime=1\nspeaklinks=1\nmaxspoken=300\nports=1863 1864\n"},
        // Values change in place; comments, blank lines, unknown keys, other sections and the spelling
        // of the keys stay; engines without a selection keep their stored text.
        SaveRow{
            "ExistingFileKeptAround",
            "; my settings\n\n[other]\nRate=99\n\n[SET]\nshowtime = 1\nRATE=3\nextra=keep "
            "me\nEngine=0x7\nEngine1=$3\n\n"
            "; trailing comment\n[last]\nx=1",
            SettingsToSave{.rate = -1, .volume = 5},
            "; my settings\n\n[other]\nRate=99\n\n[SET]\nshowtime=1\nRATE=-1\nextra=keep me\nEngine=0x7\nEngine1=$3\n"
            "Volume=5\nRate1=0\nVolume1=100\ncbme=1\ncbfriend=1\ncbmyname=1\ncbfriendsname=1\ncbmyex=1\n"
            "cbfriendsex=1\nspeaklinks=1\nmaxspoken=300\nports=1863 1864\n\n; trailing comment\n[last]\nx=1"},
        SaveRow{"CrLfFileStaysCrLf", "[set]\r\nRate=3\r\nVolume=2\r\n", SettingsToSave{.engine = 1},
                "[set]\r\nRate=0\r\nVolume=100\r\nEngine=1\r\nRate1=0\r\nVolume1=100\r\ncbme=1\r\ncbfriend=1\r\n"
                "cbmyname=1\r\ncbfriendsname=1\r\ncbmyex=1\r\ncbfriendsex=1\r\nshowtime=1\r\nspeaklinks=1\r\nmaxspoken="
                "300\r\nports=1863 1864\r\n"},
        SaveRow{"SectionAppendedToOtherSections", "[other]\nx=1", SettingsToSave{.cbme = false},
                "[other]\nx=1\n[set]\nRate=0\nVolume=100\nRate1=0\nVolume1=100\ncbme=0\ncbfriend=1\ncbmyname=1\n"
                "cbfriendsname=1\ncbmyex=1\ncbfriendsex=1\nshowtime=1\nspeaklinks=1\nmaxspoken=300\nports=1863 1864\n"},
        SaveRow{"FlagTwoWrittenBackAsOne", "[set]\ncbme=2\n", SettingsToSave{},
                "[set]\ncbme=1\nRate=0\nVolume=100\nRate1=0\nVolume1=100\ncbfriend=1\ncbmyname=1\n"
                "cbfriendsname=1\ncbmyex=1\ncbfriendsex=1\nshowtime=1\nspeaklinks=1\nmaxspoken=300\nports=1863 1864\n"}),
    RowName<SaveRow>);

#ifndef _WIN32
// The file is replaced behind a symbolic link and keeps its mode.
TEST(Save, ThroughASymbolicLinkKeepingTheMode)
{
    TempDir dir;
    const auto real = dir.path() / "real.ini";
    const auto link = dir.path() / "set.ini";
    WriteFile(real, "[set]\nRate=1\n");
    fs::permissions(real, fs::perms(0640));
    fs::create_symlink(real, link);
    SettingsStore(link).save(SettingsToSave{.rate = 7});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(SettingsStore(real).load().rate, 7);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::mask, fs::perms(0640));
}
#endif

const std::string OldFile = "[set]\nRate=3\n; the old file, which must survive whole\n" + std::string(4000, ';') + "\n";

enum class Runner { Direct, Unprivileged, FileSizeLimit };

struct SaveFailureRow {
    std::string name;
    std::function<fs::path(const fs::path&)> prepare; // makes the test folder's files, returns the ini path
    Runner runner;
};

class SaveFailureTest : public testing::TestWithParam<SaveFailureRow> {};

// Every failure is reported with the path, leaves the old file whole and no temporary file behind.
TEST_P(SaveFailureTest, OldFileSurvives)
{
    TempDir dir;
    const auto path = GetParam().prepare(dir.path());
    const auto save = [&] { return ErrorOf([&] { SettingsStore(path).save(SettingsToSave{.rate = 9}); }); };
    std::optional<std::string> error;
    if (GetParam().runner == Runner::Direct)
        error = save();
#ifndef _WIN32
    else if (GetParam().runner == Runner::Unprivileged)
        error = RunUnprivileged(save);
    else // the disk "fills up" half-way: the new file's write fails after its first kilobyte, for root too
        error = RunInChild(
            [] {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{1024, 1024};
                return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
            },
            save);
#endif
    if (!error)
        GTEST_SKIP() << "cannot become an unprivileged user";
    EXPECT_EQ(*error, "Unable to write to " + path.string());
    if (!fs::is_directory(path.parent_path()))
        return;
    if (fs::exists(path)) {
        fs::permissions(path, fs::perms::owner_read, fs::perm_options::add);
        EXPECT_EQ(ReadFile(path), OldFile);
    }
    EXPECT_EQ(EntryCount(path.parent_path()), fs::exists(path) ? 1 : 0) << "a temporary file was left behind";
}

fs::path OldFileWithMode(const fs::path& folder, fs::perms mode)
{
    WriteFile(folder / "set.ini", OldFile);
    fs::permissions(folder / "set.ini", mode);
    return folder / "set.ini";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SaveFailureTest,
    testing::Values(
#ifndef _WIN32
        SaveFailureRow{"UnwritableFolder",
                       [](const fs::path& d) {
                           fs::create_directory(d / "quorvel");
                           const auto path = OldFileWithMode(d / "quorvel", fs::perms(0644));
                           fs::permissions(d / "quorvel", fs::perms(0555));
                           return path;
                       },
                       Runner::Unprivileged},
        SaveFailureRow{"UnreadableOldFileIsNotOverwritten",
                       [](const fs::path& d) { return OldFileWithMode(d, fs::perms::none); }, Runner::Unprivileged},
#endif
        // Read-only by its mode alone, so that root is refused too.
        SaveFailureRow{"ReadOnlyFileIsLeftAlone", [](const fs::path& d) { return OldFileWithMode(d, fs::perms(0444)); },
                       Runner::Direct},
#ifndef _WIN32
        SaveFailureRow{"WriteFailingHalfWay", [](const fs::path& d) { return OldFileWithMode(d, fs::perms(0644)); },
                       Runner::FileSizeLimit},
#endif
        SaveFailureRow{"MissingFolder", [](const fs::path& d) { return d / "gone" / "set.ini"; }, Runner::Direct}),
    RowName<SaveFailureRow>);

// --- the folder --------------------------------------------------------------------------------

TEST(Folder, CreatedWithMissingParentsAndTrailingSeparator)
{
    TempDir dir;
    const auto home = dir.path() / "fresh" / ".config";
    const auto folder = LocateSettingsFolder(home, "quorvel");
    EXPECT_EQ(folder, home / "quorvel" / "");
    EXPECT_EQ(folder.string().back(), static_cast<char>(fs::path::preferred_separator));
    EXPECT_TRUE(fs::is_directory(home / "quorvel"));
    // Found again the next time, unchanged; a renamed executable gets a folder of its own.
    EXPECT_EQ(LocateSettingsFolder(home, "quorvel"), folder);
    EXPECT_EQ(LocateSettingsFolder(home, "abc"), home / "abc" / "");
    EXPECT_TRUE(fs::is_directory(home / "abc"));
}

struct FolderErrorRow {
    std::string name;
    std::function<fs::path(const fs::path&)> makeHome; // prepares the test folder, returns configHome
    std::string baseName;
    std::string error;
    bool unprivileged = false; // run by a user to whom permissions apply
};

class FolderErrorTest : public testing::TestWithParam<FolderErrorRow> {};

TEST_P(FolderErrorTest, Wording)
{
    TempDir dir;
    const auto home = GetParam().makeHome(dir.path());
    const auto locate = [&] { return ErrorOf([&] { LocateSettingsFolder(home, GetParam().baseName); }); };
#ifdef _WIN32
    const std::optional<std::string> error = locate();
#else
    const auto error = GetParam().unprivileged ? RunUnprivileged(locate) : locate();
#endif
    if (!error)
        GTEST_SKIP() << "cannot become an unprivileged user";
    EXPECT_EQ(*error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderErrorTest,
    testing::Values(FolderErrorRow{"FileWhereFolderShouldBe",
                                   [](const fs::path& d) {
                                       WriteFile(d / "quorvel", "x");
                                       return d;
                                   },
#ifdef _WIN32
                                   "quorvel", "I/O error " + std::to_string(ERROR_ALREADY_EXISTS)},
#else
                                   "quorvel", "I/O error " + std::to_string(EEXIST)},
#endif
                    FolderErrorRow{"FileWhereConfigHomeShouldBe",
                                   [](const fs::path& d) {
                                       WriteFile(d / ".config", "x");
                                       return d / ".config";
                                   },
                                   "quorvel", "Invalid filename"},
                    FolderErrorRow{"FileAsAParentOfConfigHome",
                                   [](const fs::path& d) {
                                       WriteFile(d / "home", "x");
                                       return d / "home" / ".config";
                                   },
                                   "quorvel", "Invalid filename"},
#ifndef _WIN32
                    FolderErrorRow{"DanglingLinkAsConfigHome",
                                   [](const fs::path& d) {
                                       fs::create_symlink(d / "nowhere", d / ".config");
                                       return d / ".config";
                                   },
                                   "quorvel", "File not found"},
#endif
                    FolderErrorRow{"NameTooLong", [](const fs::path& d) { return d; }, std::string(300, 'q'),
                                   "Invalid filename"},
                    FolderErrorRow{"EmptyBaseName", [](const fs::path& d) { return d; }, "", "Invalid filename"},
                    FolderErrorRow{"BaseNameWithSlash", [](const fs::path& d) { return d; }, "a/b", "Invalid filename"},
                    FolderErrorRow{"DotDotBaseName", [](const fs::path& d) { return d; }, "..", "Invalid filename"},
#ifdef _WIN32
                    FolderErrorRow{"BaseNameWithBackslash", [](const fs::path& d) { return d; }, "a\\b",
                                   "Invalid filename"},
                    FolderErrorRow{"BaseNameWithColon", [](const fs::path& d) { return d; }, "a:b", "Invalid filename"}),
#else
                    FolderErrorRow{"ReadOnlyParent",
                                   [](const fs::path& d) {
                                       fs::create_directory(d / ".config");
                                       fs::permissions(d / ".config", fs::perms(0555));
                                       return d / ".config";
                                   },
                                   "quorvel", "File access denied", true},
                    FolderErrorRow{"UnsearchableParent",
                                   [](const fs::path& d) {
                                       fs::create_directory(d / "locked");
                                       fs::permissions(d / "locked", fs::perms::none);
                                       return d / "locked" / ".config";
                                   },
                                   "quorvel", "File access denied", true}),
#endif
    RowName<FolderErrorRow>);

} // namespace
