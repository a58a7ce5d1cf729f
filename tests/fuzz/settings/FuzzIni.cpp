// The INI reader on arbitrary bytes: it keeps a file it does not change byte for byte, and what a
// save writes is what the next load reads, whatever else the file holds.
// Input: 33 bytes that choose the values to save, then the file.

#include "app/settings/IniDocument.h"
#include "app/settings/SettingsKeys.h"
#include "app/settings/SettingsStore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace quorvel::settings;

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

class Picker {
public:
    Picker(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    int integer()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return static_cast<int>(v);
    }
    bool flag() { return byte() & 1; }
    std::size_t used() const { return m_used; }

private:
    std::uint8_t byte() { return m_used < m_size ? m_data[m_used++] : 0; }
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_used = 0;
};

std::vector<std::string_view> Lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    // A byte order mark opens the file, not its first line: a file of the mark alone has no line to keep.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    while (!text.empty()) {
        const auto lf = text.find('\n');
        // A last line without a break gets one, CR LF in a CR LF file: compare without CRs.
        auto line = text.substr(0, lf);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Picker pick(data, size);
    SettingsToSave values;
    values.rate = pick.integer();
    values.volume = pick.integer();
    values.rate1 = pick.integer();
    values.volume1 = pick.integer();
    const int engine = pick.integer();
    const int engine1 = pick.integer();
    if (pick.flag())
        values.engine = engine;
    if (pick.flag())
        values.engine1 = engine1;
    values.cbme = pick.flag();
    values.cbfriend = pick.flag();
    values.cbmyname = pick.flag();
    values.cbfriendsname = pick.flag();
    values.cbmyex = pick.flag();
    values.cbfriendsex = pick.flag();
    values.showtime = pick.flag();
    const std::size_t skip = std::min(size, pick.used());
    const std::string_view file(reinterpret_cast<const char*>(data) + skip, size - skip);

    IniDocument doc = IniDocument::parse(file);
    Check(doc.serialize() == file, "an unchanged file is kept byte for byte");
    const StoredSettings before = ReadSettings(doc);
    for (auto key : {"Rate", "Volume", "Engine", "cbme", "showtime"}) {
        const auto v = doc.value(SettingsSection, key);
        Check(!v || v->size() <= IniDocument::maxValueLength, "values are cut at 2047 characters");
    }

    WriteSettings(doc, values);
    const std::string saved = doc.serialize();
    // Lines are only rewritten in place or added: no line is lost, and every line that holds no
    // "=" stays as it was, in its order.
    const auto original = Lines(file);
    const auto rewritten = Lines(saved);
    Check(rewritten.size() >= original.size(), "no line is lost");
    std::size_t j = 0;
    for (const auto& line : original) {
        if (line.find('=') != std::string_view::npos)
            continue;
        while (j < rewritten.size() && rewritten[j] != line)
            ++j;
        Check(j < rewritten.size(), "lines without a value are kept in order");
        ++j;
    }
    const StoredSettings after = ReadSettings(IniDocument::parse(saved));

    Check(after.rate == values.rate && after.volume == values.volume, "own rate and volume read back");
    Check(after.rate1 == values.rate1 && after.volume1 == values.volume1, "friend rate and volume read back");
    Check(after.engine == values.engine.value_or(before.engine), "own engine read back or left alone");
    Check(after.engine1 == values.engine1.value_or(before.engine1), "friend engine read back or left alone");
    Check(after.cbme == values.cbme && after.cbfriend == values.cbfriend && after.cbmyname == values.cbmyname &&
              after.cbfriendsname == values.cbfriendsname && after.cbmyex == values.cbmyex &&
              after.cbfriendsex == values.cbfriendsex && after.showtime == values.showtime,
          "flags read back");

    // A second save of the same values changes nothing.
    IniDocument again = IniDocument::parse(saved);
    WriteSettings(again, values);
    Check(again.serialize() == saved, "saving twice is saving once");
    return 0;
}
