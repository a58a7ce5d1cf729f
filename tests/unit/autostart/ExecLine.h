#pragma once
// A reader of Desktop Entry files written from the format's rules, independent of the writer under test:
// the key file's string unescaping, then the Exec key's "%%" and double-quote rules.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::autostart::test {

// Keys of the [Desktop Entry] group with their raw (still escaped) values; nullopt when the group is missing.
std::optional<std::map<std::string, std::string>> readDesktopEntry(const std::filesystem::path& file);

// "\s", "\n", "\t", "\r", "\\" of the string type.
std::string unescapeString(const std::string& raw);

// The argv of an Exec value as stored in the file; nullopt for anything the format forbids (a reserved
// character outside quotes, an unknown escape inside quotes, an unterminated quote, a field code).
std::optional<std::vector<std::string>> parseExec(const std::string& raw);

struct RunResult {
    int exitStatus = -1;
    std::string output; // what the started program wrote to the file named by QUORVEL_TEST_OUT
};

// Starts argv[0] with argv in the folder workDir, the way a session's autostart would, and waits.
RunResult run(const std::vector<std::string>& argv, const std::string& workDir, const std::string& outFile);

// A fresh, empty folder of this test's own.
std::filesystem::path makeTempDir();

std::string readFile(const std::filesystem::path& file);

} // namespace quorvel::autostart::test
