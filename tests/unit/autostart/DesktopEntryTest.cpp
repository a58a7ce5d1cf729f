#include "ui/autostart/DesktopEntry.h"

#include "ExecLine.h"

#include <fstream>
#include <system_error>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using quorvel::autostart::CreateShellLink;
using quorvel::autostart::ShellLinkError;
namespace t = quorvel::autostart::test;

namespace {

const std::string kWrongExtension = "File Ext Must Be: \u2032\u2032DESKTOP\u2032\u2032!";

class DesktopEntryTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = t::makeTempDir(); }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }
    std::map<std::string, std::string> entry(const fs::path& file)
    {
        auto keys = t::readDesktopEntry(file);
        EXPECT_TRUE(keys.has_value()) << file;
        return keys.value_or(std::map<std::string, std::string>{});
    }
    std::vector<fs::path> listing() const
    {
        std::vector<fs::path> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            names.push_back(e.path().filename());
        return names;
    }
    fs::path m_dir;
};

// ---- Exec, Path and Comment as stored, and read back by the format's own rules ----

struct QuotingCase {
    const char* name;
    std::string target;
    std::string arguments;
    std::string execInFile;        // the Exec value exactly as the file holds it
    std::vector<std::string> argv; // what a launcher makes of it
    std::string pathInFile;        // the Path value exactly as the file holds it
};

const QuotingCase kQuoting[] = {
    {"plain", "/usr/bin/quorvel", " -s", R"("/usr/bin/quorvel" -s)", {"/usr/bin/quorvel", "-s"}, "/usr/bin/"},
    // GLib looks the program up without undoing "%%", so such a program is started through the shell.
    {"percent",
     "/opt/100%d/q",
     " -s",
     R"(/bin/sh -c "exec \\"\\$0\\" \\"\\$@\\"" "/opt/100%%d/q" -s)",
     {"/bin/sh", "-c", R"(exec "$0" "$@")", "/opt/100%d/q", "-s"},
     "/opt/100%d/"},
    {"backslash_before_quote",
     R"(/opt/x\"y/q)",
     " -s",
     R"("/opt/x\\\\\\"y/q" -s)",
     {R"(/opt/x\"y/q)", "-s"},
     R"(/opt/x\\"y/)"},
    {"non_ascii",
     "/home/张三/应用/quorvel",
     " -s",
     R"("/home/张三/应用/quorvel" -s)",
     {"/home/张三/应用/quorvel", "-s"},
     "/home/张三/应用/"},
    // Every character that needs quoting or escaping, in the program's folder and its name.
    {"everything_but_percent",
     R"(/tmp/a b'"$`\c/q q)",
     " -s",
     R"("/tmp/a b'\\"\\$\\`\\\\c/q q" -s)",
     {R"(/tmp/a b'"$`\c/q q)", "-s"},
     R"(/tmp/a b'"$`\\c/)"},
    {"everything",
     R"(/tmp/a b'"$`%\c/q)",
     " -s",
     R"(/bin/sh -c "exec \\"\\$0\\" \\"\\$@\\"" "/tmp/a b'\\"\\$\\`%%\\\\c/q" -s)",
     {"/bin/sh", "-c", R"(exec "$0" "$@")", R"(/tmp/a b'"$`%\c/q)", "-s"},
     R"(/tmp/a b'"$`%\\c/)"},
    {"no_arguments", "/usr/bin/quorvel", "", R"("/usr/bin/quorvel")", {"/usr/bin/quorvel"}, "/usr/bin/"},
    {"several_words",
     "/usr/bin/quorvel",
     "  -s\t--x  y ",
     R"("/usr/bin/quorvel" -s --x y)",
     {"/usr/bin/quorvel", "-s", "--x", "y"},
     "/usr/bin/"},
    {"argument_needing_quotes",
     "/usr/bin/quorvel",
     " a$b",
     R"("/usr/bin/quorvel" "a\\$b")",
     {"/usr/bin/quorvel", "a$b"},
     "/usr/bin/"},
    {"argument_with_percent",
     "/usr/bin/quorvel",
     " 50%",
     R"("/usr/bin/quorvel" 50%%)",
     {"/usr/bin/quorvel", "50%"},
     "/usr/bin/"},
    {"program_in_root", "/quorvel", " -s", R"("/quorvel" -s)", {"/quorvel", "-s"}, "/"},
};

class QuotingTest : public DesktopEntryTest, public ::testing::WithParamInterface<QuotingCase> {};

TEST_P(QuotingTest, StoresAndReadsBack)
{
    const QuotingCase& c = GetParam();
    const fs::path file = m_dir / "q.desktop";
    CreateShellLink(c.target, c.arguments, file.string(), "Quorvel");
    auto keys = entry(file);
    EXPECT_EQ(keys["Exec"], c.execInFile);
    EXPECT_EQ(keys["Path"], c.pathInFile);
    const auto argv = t::parseExec(keys["Exec"]);
    ASSERT_TRUE(argv.has_value()) << keys["Exec"];
    EXPECT_EQ(*argv, c.argv);
    const std::string path = t::unescapeString(keys["Path"]);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.back(), '/');
    EXPECT_EQ(path, c.target.substr(0, c.target.rfind('/') + 1));
}

INSTANTIATE_TEST_SUITE_P(Table, QuotingTest, ::testing::ValuesIn(kQuoting),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DesktopEntryTest, FixedFieldsAndDescription)
{
    struct Row {
        const char* name;
        std::string description;
        std::string commentInFile;
    };
    const Row rows[] = {
        {"title", "Quorvel", "Quorvel"},
        {"leading_blank", " Quorvel", R"(\sQuorvel)"},
        {"two_lines", "a\nb\\c", R"(a\nb\\c)"},
        {"chinese", "朗读聊天", "朗读聊天"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const fs::path file = m_dir / "d.desktop";
        CreateShellLink("/usr/bin/quorvel", " -s", file.string(), r.description);
        const std::string text = t::readFile(file);
        EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u) << text;
        auto keys = entry(file);
        EXPECT_EQ(keys["Type"], "Application");
        EXPECT_EQ(keys["Name"], "Quorvel");
        EXPECT_EQ(keys["Comment"], r.commentInFile);
        EXPECT_EQ(t::unescapeString(keys["Comment"]), r.description);
    }
}

// ---- the extension check ----

TEST_F(DesktopEntryTest, ExtensionCheck)
{
    struct Row {
        const char* name;
        const char* file;
        bool accepted;
    };
    const Row rows[] = {
        {"lower", "a.desktop", true},
        {"upper", "b.DESKTOP", true},
        {"mixed", "c.Desktop", true},
        {"dotted_name", "d.e.desktop", true},
        {"url", "e.url", false},
        {"lnk", "f.lnk", false},
        {"none", "g", false},
        {"double", "h.desktop.bak", false},
        {"prefix_only", "i.desk", false},
        {"trailing_dot", "j.desktop.", false},
        {"checked_before_the_folder", "missing/k.lnk", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const fs::path file = m_dir / r.file;
        if (r.accepted) {
            EXPECT_NO_THROW(CreateShellLink("/usr/bin/quorvel", " -s", file.string(), "Quorvel"));
            EXPECT_TRUE(fs::is_regular_file(file));
        } else {
            try {
                CreateShellLink("/usr/bin/quorvel", " -s", file.string(), "Quorvel");
                ADD_FAILURE() << "accepted " << r.file;
            } catch (const ShellLinkError& e) {
                EXPECT_EQ(std::string(e.what()), kWrongExtension);
            }
            EXPECT_FALSE(fs::exists(file));
        }
    }
    // Nothing but the accepted entries, and no temporary file left behind.
    EXPECT_EQ(listing().size(), 4u);
}

// ---- writing ----

// As with the shell's own save, the folder decides: the rename swaps even a read-only file as a whole.
TEST_F(DesktopEntryTest, ReplacesAnExistingReadOnlyEntry)
{
    const fs::path file = m_dir / "quorvel.desktop";
    CreateShellLink("/old/place/quorvel", " -s", file.string(), "Old");
    fs::permissions(file, fs::perms::owner_read);
    CreateShellLink("/new/place/quorvel", " -s", file.string(), "Quorvel");
    auto keys = entry(file);
    EXPECT_EQ(keys["Exec"], R"("/new/place/quorvel" -s)");
    EXPECT_EQ(keys["Path"], "/new/place/");
    EXPECT_EQ(keys["Comment"], "Quorvel");
    EXPECT_EQ(listing(), std::vector<fs::path>{"quorvel.desktop"});
}

TEST_F(DesktopEntryTest, WriteFailuresAreReported)
{
    const fs::path regular = m_dir / "regular";
    {
        std::ofstream(regular) << "x";
    }
    fs::create_directory(m_dir / "taken.desktop");
    {
        std::ofstream(m_dir / "taken.desktop" / "inside") << "x";
    }
    fs::create_directory(m_dir / "ro");
    fs::permissions(m_dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);

    struct Row {
        const char* name;
        fs::path file;
    };
    const Row rows[] = {
        {"missing_folder", m_dir / "missing" / "quorvel.desktop"},
        {"folder_is_a_file", regular / "quorvel.desktop"}, // ENOTDIR, a failure even for root
        {"name_is_a_folder", m_dir / "taken.desktop"},
        {"read_only_folder", m_dir / "ro" / "quorvel.desktop"}, // root writes there all the same
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.file.parent_path() == m_dir / "ro" && ::geteuid() == 0)
            continue;
        try {
            CreateShellLink("/usr/bin/quorvel", " -s", r.file.string(), "Quorvel");
            ADD_FAILURE() << "no error for " << r.file;
        } catch (const ShellLinkError& e) {
            EXPECT_NE(std::string(e.what()).find(r.file.string()), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(fs::exists(m_dir / "missing"));
    EXPECT_TRUE(fs::is_directory(m_dir / "taken.desktop"));
    EXPECT_EQ(listing().size(), 3u); // no temporary file left behind
    fs::permissions(m_dir / "ro", fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(m_dir / "ro"));
}

TEST_F(DesktopEntryTest, TargetThatIsNotUtf8IsRefused)
{
    // A key file that is not UTF-8 is rejected by the readers, so the entry would never start anything.
    const fs::path file = m_dir / "q.desktop";
    EXPECT_THROW(CreateShellLink("/opt/\xff\xfe/quorvel", " -s", file.string(), "Quorvel"), ShellLinkError);
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(DesktopEntryTest, PassesDesktopFileValidate)
{
    const std::string validator = DESKTOP_FILE_VALIDATE;
    ASSERT_FALSE(validator.empty()) << "desktop-file-validate (desktop-file-utils) is needed";
    const char* targets[] = {"/usr/bin/quorvel", R"(/tmp/a b'"$`\c/quorvel)", R"(/tmp/a b'"$`%\c/quorvel)",
                             "/home/张三/quorvel"};
    const char* descriptions[] = {"Quorvel", "Reads chats aloud"};
    for (const char* target : targets)
        for (const char* description : descriptions) {
            SCOPED_TRACE(std::string(target) + " / " + description);
            const fs::path file = m_dir / "quorvel.desktop";
            CreateShellLink(target, " -s", file.string(), description);
            const fs::path out = m_dir / "validate.out";
            const std::string cmd = "'" + validator + "' '" + file.string() + "' >'" + out.string() + "' 2>&1";
            const int rc = std::system(cmd.c_str());
            const std::string messages = t::readFile(out);
            fs::remove(out);
            EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << messages;
            // The description the program passes is its title, which the validator finds redundant with Name;
            // the entry carries it all the same, so that one hint is the only message allowed.
            const std::string redundant = file.string() + ": warning: value \"Quorvel\" for key \"Comment\" in group "
                                                          "\"Desktop Entry\" looks the same as that of key \"Name\"\n";
            EXPECT_EQ(messages, std::string(description) == "Quorvel" ? redundant : "");
        }
}

// ---- the entry really starts the program ----

struct LaunchCase {
    const char* name;
    const char* folder;
};

const LaunchCase kLaunch[] = {
    {"quoted_program", R"(my "apps" it's $HOME `x` back\slash 中文)"},
    {"program_through_shell", R"(my "apps" it's $HOME 100% `x` back\slash 中文)"},
};

class LaunchTest : public DesktopEntryTest, public ::testing::WithParamInterface<LaunchCase> {
protected:
    void SetUp() override
    {
        DesktopEntryTest::SetUp();
        m_folder = m_dir / GetParam().folder;
        fs::create_directory(m_folder);
        m_script = m_folder / "quor vel";
        std::ofstream(m_script) << "#!/bin/sh\n"
                                   "{ printf '%s\\n' \"$0\"; pwd -P; printf '%s\\n' \"$#\"; printf '[%s]\\n' \"$@\"; }"
                                   " > \"$QUORVEL_TEST_OUT\"\n";
        fs::permissions(m_script, fs::perms::owner_all);
        m_entry = m_dir / "quorvel.desktop";
        CreateShellLink(m_script.string(), " -s", m_entry.string(), "Quorvel");
        m_out = m_dir / "ran.txt";
    }
    std::string expected() const { return m_script.string() + "\n" + fs::canonical(m_folder).string() + "\n1\n[-s]\n"; }
    fs::path m_folder, m_script, m_entry, m_out;
};

TEST_P(LaunchTest, StartsTheTargetThroughTheFormatsRules)
{
    auto keys = entry(m_entry);
    const auto argv = t::parseExec(keys["Exec"]);
    ASSERT_TRUE(argv.has_value()) << keys["Exec"];
    const auto result = t::run(*argv, t::unescapeString(keys["Path"]), m_out.string());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, expected());
}

TEST_P(LaunchTest, StartsTheTargetThroughGio)
{
    // GLib's launcher is the one a GNOME session's autostart uses.
    const std::string gio = GIO_PROGRAM;
    if (gio.empty())
        GTEST_SKIP() << "gio (libglib2.0-bin) is not installed";
    const std::string cmd =
        "QUORVEL_TEST_OUT='" + m_out.string() + "' '" + gio + "' launch '" + m_entry.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // gio returns once the program is started; wait for its output generously.
    std::string output;
    for (int i = 0; i < 600; ++i) {
        output = t::readFile(m_out);
        if (output.size() >= expected().size())
            break;
        ::usleep(50'000);
    }
    EXPECT_EQ(output, expected());
}

INSTANTIATE_TEST_SUITE_P(Folders, LaunchTest, ::testing::ValuesIn(kLaunch),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
