// The Linux edition's run at logon on the table both editions pass.

#include "ui/autostart/DesktopEntry.h"

#include "ExecLine.h"
#include "RunAtStartupContract.h"

namespace quorvel::autostart::test {
namespace {

std::optional<StartupEntryFields> ReadDesktopEntryFields(const std::filesystem::path& file)
{
    const auto keys = readDesktopEntry(file);
    if (!keys || !keys->count("Exec"))
        return std::nullopt;
    const auto argv = parseExec(keys->at("Exec"));
    if (!argv || argv->empty())
        return std::nullopt;
    StartupEntryFields fields{argv->front(), "", unescapeString(keys->at("Path")), unescapeString(keys->at("Comment"))};
    for (std::size_t i = 1; i < argv->size(); ++i)
        fields.arguments += " " + (*argv)[i];
    return fields;
}

TEST(RunAtStartup, DesktopEntry)
{
    const std::filesystem::path folder = makeTempDir();
    CheckRunAtStartup(
        [](const std::filesystem::path& dir, const std::string& baseName, const std::string& executable) {
            return std::make_unique<Autostart>(dir, baseName, executable, "Quorvel");
        },
        &ReadDesktopEntryFields, folder, ".desktop", "/opt/Quorvel 1/quorvel");
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace quorvel::autostart::test
