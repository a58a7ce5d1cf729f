// quorvel-replay: prints what the program would log and speak for each chat message in a capture file.

#include "Replay.h"
#include "SpeechWav.h"
#include "app/settings/SettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include "win/common/Wide.h"

#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int ExitUsage = 2;
constexpr int ExitUnreadable = 2;
constexpr int ExitWavFailed = 1;

constexpr const char* HelpText =
    "Usage: quorvel-replay [--show-time | --no-show-time] [--own MNE] [--friend MNE] [--per-segment]\n"
    "                      [--ports \"P ...\"] [--no-links] [--max-spoken N] [--contacts INI] [--wav OUT] FILE\n"
    "\n"
    "Reads a pcap or pcapng capture and prints one JSON object per line for every chat event\n"
    "(or every command that could not become one), in capture order. Each connection's byte stream\n"
    "is reassembled and cut into commands by their length fields; \"frame\" is the packet that\n"
    "completed the command. Connections of the server ports count, and every switchboard that an\n"
    "XFR or RNG hands out, from that command on. Group messages (SDG) have \"command\":\"SDG\".\n"
    "\n"
    "  --show-time       headers carry the packet time (default)\n"
    "  --no-show-time    headers without the time (UBM headers keep it)\n"
    "  --own MNE         own messages: three digits 1/0 for speaking the message, the\n"
    "                    nickname and the emoticons (default 111)\n"
    "  --friend MNE      the same for friends' messages (default 111)\n"
    "  --contacts INI    apply a contacts.ini: friends' spoken names, mutes and own voices\n"
    "                    (\"speak\" gets \"contact\": the account whose own voice speaks it)\n"
    "  --no-links        speak web addresses as written, not as \"链接\" and the host name\n"
    "  --max-spoken N    speak at most N characters of a message, then \"……(以下省略)\";\n"
    "                    0 speaks it all (default 300)\n"
    "  --ports \"P ...\"   the servers' ports, separated by blanks (default \"1863 1864\")\n"
    "  --per-segment     decode each TCP segment on its own as one command, as older versions\n"
    "                    did (a message split over segments is cut, a repeated one doubled; only\n"
    "                    the server ports count, nothing is learned)\n"
    "  --wav OUT         also render every text that would be spoken, in order, with the\n"
    "                    default voice of each direction or a contact's own voice, into one\n"
    "                    16 kHz mono WAV file\n"
    "  --help            this text\n"
    "\n"
    "Times are local (TZ is honoured). Exit status: 0 when the whole file was read; 2 for bad\n"
    "usage, or when the file cannot be read or is not a capture; 1 when the WAV file could not\n"
    "be written (one line on stderr).\n";

bool ParseBoxes(std::string_view text, quorvel::capture::ReadingOptions& options)
{
    if (text.size() != 3)
        return false;
    for (const char c : text)
        if (c != '0' && c != '1')
            return false;
    options.speakMessage = text[0] == '1';
    options.speakNickname = text[1] == '1';
    options.speakEmoticons = text[2] == '1';
    return true;
}

// A whole non-negative decimal number.
bool ParseCount(std::string_view text, std::size_t& count)
{
    if (text.empty() || text.size() > 9)
        return false;
    std::size_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    count = value;
    return true;
}

// The value of "--name=value", or of "--name value" (i then moves on to it); nothing when it is missing.
std::optional<std::string_view> OptionValue(std::string_view arg, int argc, char** argv, int& i)
{
    if (const auto equals = arg.find('='); equals != std::string_view::npos)
        return arg.substr(equals + 1);
    if (i + 1 < argc)
        return argv[++i];
    return std::nullopt;
}

// A file name as given (UTF-8) as the system names it.
std::filesystem::path FilePath(const std::string& name)
{
#ifdef _WIN32
    return quorvel::win::Wide(name);
#else
    return name;
#endif
}

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "quorvel-replay: %s (see --help)\n", problem.c_str());
    return ExitUsage;
}

} // namespace

int Run(int argc, char** argv)
{
    quorvel::replay::ReplayOptions options;
    std::string path;
    bool havePath = false;
    std::optional<std::string> wavPath;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (arg == "--per-segment") {
            options.perSegment = true;
        } else if (arg == "--show-time") {
            options.showTime = true;
        } else if (arg == "--no-show-time") {
            options.showTime = false;
        } else if (arg == "--own" || arg == "--friend" || arg.starts_with("--own=") || arg.starts_with("--friend=")) {
            const bool own = arg.starts_with("--own");
            std::string_view value;
            if (const auto equals = arg.find('='); equals != std::string_view::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return Usage(std::string(arg) + " needs a value");
            }
            if (!ParseBoxes(value, own ? options.own : options.friends))
                return Usage("bad value '" + std::string(value) + "' for " + (own ? "--own" : "--friend") +
                             ", expected three digits 0/1");
        } else if (arg == "--contacts" || arg.starts_with("--contacts=")) {
            std::string file;
            if (const auto equals = arg.find('='); equals != std::string_view::npos)
                file = std::string(arg.substr(equals + 1));
            else if (i + 1 < argc)
                file = argv[++i];
            if (file.empty())
                return Usage("--contacts needs a file name");
            std::string bytes;
            // A contacts file that cannot be read would silently speak everyone: refuse it.
            errno = 0;
            if (quorvel::settings::ReadWholeFile(FilePath(file), bytes) != quorvel::settings::ReadStatus::Ok) {
                std::fprintf(stderr, "quorvel-replay: %s: %s\n", file.c_str(),
                             errno ? std::strerror(errno) : "cannot be read");
                return ExitUnreadable;
            }
            options.contacts = quorvel::settings::ReadContacts(quorvel::settings::IniDocument::parse(bytes));
        } else if (arg == "--ports" || arg.starts_with("--ports=")) {
            const auto value = OptionValue(arg, argc, argv, i);
            if (!value)
                return Usage("--ports needs a value");
            const auto ports = quorvel::capture::ParsePortList(*value);
            if (!ports)
                return Usage("bad value '" + std::string(*value) +
                             "' for --ports, expected ports 1-65535 separated by blanks");
            options.ports = *ports;
        } else if (arg == "--no-links") {
            options.shaping.speakLinks = false;
        } else if (arg == "--max-spoken" || arg.starts_with("--max-spoken=")) {
            const auto value = OptionValue(arg, argc, argv, i);
            if (!value)
                return Usage("--max-spoken needs a value");
            if (!ParseCount(*value, options.shaping.maxSpoken))
                return Usage("bad value '" + std::string(*value) + "' for --max-spoken, expected a whole number >= 0");
        } else if (arg == "--wav" || arg.starts_with("--wav=")) {
            if (const auto equals = arg.find('='); equals != std::string_view::npos)
                wavPath = std::string(arg.substr(equals + 1));
            else if (i + 1 < argc)
                wavPath = argv[++i];
            else
                return Usage("--wav needs a file name");
            if (wavPath->empty())
                return Usage("--wav needs a file name");
        } else if (arg == "--") {
            if (i + 1 < argc && !havePath) {
                path = argv[++i];
                havePath = true;
            }
            if (i + 1 < argc)
                return Usage("more than one file given");
        } else if (arg.starts_with("-") && arg.size() > 1) {
            return Usage("unknown option " + std::string(arg));
        } else if (havePath) {
            return Usage("more than one file given");
        } else {
            path = std::string(arg);
            havePath = true;
        }
    }
    if (!havePath)
        return Usage("no capture file given");
    options.collectSpeeches = wavPath.has_value();

    const auto result = quorvel::replay::ReplayCapture(path, options, [](const quorvel::replay::ReplayRecord& record) {
        std::string line = quorvel::replay::RecordToJson(record);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    });
    std::fflush(stdout);
    if (wavPath && !result.error) {
        if (const auto failure = quorvel::replay::WriteSpeechWav(result.speeches, options.contacts, *wavPath)) {
            std::fprintf(stderr, "quorvel-replay: %s\n", failure->c_str());
            return ExitWavFailed;
        }
    }
    if (result.error) {
        std::fprintf(stderr, "quorvel-replay: %s: %s\n", path.c_str(), result.error->c_str());
        return ExitUnreadable;
    }
    return 0;
}

#ifdef _WIN32
// The arguments as UTF-8, whatever the code page; the lines go out as bytes, "\n" and all.
int wmain(int argc, wchar_t** wideArgv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(quorvel::win::Utf8(wideArgv[i]));
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return Run(argc, argv.data());
}
#else
int main(int argc, char** argv)
{
    return Run(argc, argv);
}
#endif
