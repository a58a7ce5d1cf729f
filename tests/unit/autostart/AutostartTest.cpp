#include "ui/autostart/DesktopEntry.h"

#include "ExecLine.h"

#include <fstream>
#include <system_error>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using quorvel::autostart::Autostart;
using quorvel::autostart::ShellLinkError;
namespace t = quorvel::autostart::test;

namespace {

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override { m_home = t::makeTempDir(); }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_home, ec);
    }
    fs::path m_home;
};

TEST_F(AutostartTest, EnableCreatesTheFolderAndTheEntry)
{
    // A fresh account has neither ~/.config nor ~/.config/autostart.
    const fs::path dir = m_home / ".config" / "autostart";
    const Autostart a(dir, "quorvel", "/opt/Quorvel 1/quorvel", "Quorvel");
    EXPECT_EQ(a.entryPath(), dir / "quorvel.desktop");
    EXPECT_FALSE(a.isEnabled());

    a.enable();
    EXPECT_TRUE(a.isEnabled());
    const auto keys = t::readDesktopEntry(a.entryPath());
    ASSERT_TRUE(keys.has_value());
    const auto argv = t::parseExec(keys->at("Exec"));
    ASSERT_TRUE(argv.has_value());
    EXPECT_EQ(*argv, (std::vector<std::string>{"/opt/Quorvel 1/quorvel", "-s"}));
    EXPECT_EQ(t::unescapeString(keys->at("Path")), "/opt/Quorvel 1/");
    EXPECT_EQ(keys->at("Comment"), "Quorvel");
    // Exactly one file in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

TEST_F(AutostartTest, EnableReplacesAndDisableRemoves)
{
    const fs::path dir = m_home / "autostart";
    fs::create_directory(dir);
    {
        std::ofstream(dir / "quorvel.desktop") << "[Desktop Entry]\nExec=/somewhere/else\n";
    }
    const Autostart a(dir, "quorvel", "/usr/bin/quorvel", "Quorvel");
    EXPECT_TRUE(a.isEnabled()); // a file by hand counts: existence is the state

    a.enable();
    EXPECT_EQ(t::readDesktopEntry(a.entryPath())->at("Exec"), R"("/usr/bin/quorvel" -s)");

    a.disable();
    EXPECT_FALSE(a.isEnabled());
    EXPECT_FALSE(fs::exists(dir / "quorvel.desktop"));
    EXPECT_NO_THROW(a.disable()); // nothing to delete
    EXPECT_TRUE(fs::is_directory(dir));
}

TEST_F(AutostartTest, RenamedExecutableLooksForItsOwnEntry)
{
    const fs::path dir = m_home / "autostart";
    const Autostart before(dir, "quorvel", "/usr/bin/quorvel", "Quorvel");
    const Autostart after(dir, "quorvel2", "/usr/bin/quorvel2", "Quorvel");
    before.enable();
    EXPECT_TRUE(before.isEnabled());
    EXPECT_FALSE(after.isEnabled());
    EXPECT_EQ(after.entryPath(), dir / "quorvel2.desktop");

    after.enable();
    after.disable();
    EXPECT_TRUE(before.isEnabled()); // the other name's entry is left alone
}

TEST_F(AutostartTest, EnableReportsAFolderThatCannotBeMade)
{
    const fs::path regular = m_home / "config";
    {
        std::ofstream(regular) << "x";
    }
    const Autostart a(regular / "autostart", "quorvel", "/usr/bin/quorvel", "Quorvel");
    EXPECT_THROW(a.enable(), ShellLinkError);
    EXPECT_FALSE(a.isEnabled());
}

TEST_F(AutostartTest, DisableFailureIsNotReported)
{
    // An entry that cannot be deleted (here a non-empty folder of that name) stays, silently.
    const fs::path dir = m_home / "autostart";
    fs::create_directories(dir / "quorvel.desktop");
    {
        std::ofstream(dir / "quorvel.desktop" / "x") << "x";
    }
    const Autostart a(dir, "quorvel", "/usr/bin/quorvel", "Quorvel");
    EXPECT_NO_THROW(a.disable());
    EXPECT_TRUE(a.isEnabled());
}

} // namespace
