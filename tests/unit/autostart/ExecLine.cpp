#include "ExecLine.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvel::autostart::test {

std::optional<std::map<std::string, std::string>> readDesktopEntry(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::map<std::string, std::string> keys;
    std::string line;
    bool inGroup = false, seen = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            seen = seen || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            return std::nullopt;
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        std::size_t v = eq + 1;
        while (v < line.size() && line[v] == ' ')
            ++v;
        if (keys.count(key))
            return std::nullopt; // a key given twice is invalid
        keys[key] = line.substr(v);
    }
    if (!seen)
        return std::nullopt;
    return keys;
}

std::string unescapeString(const std::string& raw)
{
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        switch (raw[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += raw[i];
            break;
        }
    }
    return out;
}

std::optional<std::vector<std::string>> parseExec(const std::string& raw)
{
    constexpr std::string_view reserved = "\t\n\"'\\><~|&;$*?#()`";
    const std::string s = unescapeString(raw);
    std::vector<std::string> argv;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ' ') {
            if (inWord)
                argv.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '%') {
            if (i + 1 < s.size() && s[i + 1] == '%') {
                word += '%';
                ++i;
                continue;
            }
            return std::nullopt; // the writer never stores field codes
        }
        if (c == '"') {
            for (++i;; ++i) {
                if (i >= s.size())
                    return std::nullopt;
                const char q = s[i];
                if (q == '"')
                    break;
                if (q == '\\') {
                    if (i + 1 >= s.size())
                        return std::nullopt;
                    const char e = s[++i];
                    if (e != '"' && e != '`' && e != '$' && e != '\\')
                        return std::nullopt;
                    word += e;
                } else if (q == '%') {
                    if (i + 1 >= s.size() || s[i + 1] != '%')
                        return std::nullopt;
                    word += '%';
                    ++i;
                } else {
                    word += q;
                }
            }
            continue;
        }
        if (reserved.find(c) != std::string_view::npos)
            return std::nullopt;
        word += c;
    }
    if (inWord)
        argv.push_back(std::move(word));
    return argv;
}

RunResult run(const std::vector<std::string>& argv, const std::string& workDir, const std::string& outFile)
{
    RunResult result;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QUORVEL_TEST_OUT", outFile.c_str(), 1);
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0)
            ::_exit(126);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    result.output = readFile(outFile);
    return result;
}

std::filesystem::path makeTempDir()
{
    std::string pattern = (std::filesystem::path(::testing::TempDir()) / "quorvel-autostart-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace quorvel::autostart::test
