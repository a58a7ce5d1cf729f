#include "speech/TextRuns.h"

#include "text/Utf8.h"

#include <optional>

namespace quorvel::speech {
namespace {

enum class Cls { Han, Latin, Digit, Neutral };

struct Unit {
    Cls cls;
    std::size_t begin;
    std::size_t end;
};

Cls Classify(char32_t c)
{
    if (c >= U'0' && c <= U'9')
        return Cls::Digit;
    if ((c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z'))
        return Cls::Latin;
    if (c < 0x80)
        return Cls::Neutral;
    if (c >= 0xFF10 && c <= 0xFF19) // full-width digits
        return Cls::Digit;
    if ((c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A)) // full-width letters
        return Cls::Latin;
    if ((c >= 0x00C0 && c <= 0x024F && c != 0x00D7 && c != 0x00F7) || (c >= 0x0370 && c <= 0x03FF) ||
        (c >= 0x0400 && c <= 0x04FF) || (c >= 0x1E00 && c <= 0x1EFF))
        return Cls::Latin;
    if ((c >= 0x2E80 && c <= 0x2FDF) || (c >= 0x3000 && c <= 0x312F) || (c >= 0x3190 && c <= 0x9FFF) ||
        (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
        (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF))
        return Cls::Han;
    return Cls::Neutral;
}

bool Strong(Cls c)
{
    return c == Cls::Han || c == Cls::Latin;
}

} // namespace

std::vector<TextRun> SplitScriptRuns(std::string_view s)
{
    std::vector<Unit> units;
    for (std::size_t pos = 0; pos < s.size();) {
        const text::Utf8Step step = text::DecodeUtf8Step(s, pos);
        units.push_back({step.wellFormed ? Classify(step.codePoint) : Cls::Neutral, pos, pos + step.length});
        pos += step.length;
    }
    if (units.empty())
        return {};

    // Digits: glued to a word before them, else to one right after them, else the nearest
    // letter before, else the nearest after.
    for (std::size_t i = 0; i < units.size();) {
        if (units[i].cls != Cls::Digit) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < units.size() && units[j].cls == Cls::Digit)
            ++j;
        std::optional<Cls> pick;
        if (i > 0 && Strong(units[i - 1].cls))
            pick = units[i - 1].cls;
        else if (j < units.size() && Strong(units[j].cls))
            pick = units[j].cls;
        else {
            for (std::size_t k = i; k-- > 0 && !pick;)
                if (Strong(units[k].cls))
                    pick = units[k].cls;
            for (std::size_t k = j; k < units.size() && !pick; ++k)
                if (Strong(units[k].cls))
                    pick = units[k].cls;
        }
        for (std::size_t k = i; k < j; ++k)
            units[k].cls = pick.value_or(Cls::Neutral);
        i = j;
    }

    // Everything else joins the run before it; leading neutral text joins the first run.
    std::optional<Cls> first;
    for (const auto& u : units)
        if (Strong(u.cls)) {
            first = u.cls;
            break;
        }
    Cls current = first.value_or(Cls::Han);
    for (auto& u : units) {
        if (Strong(u.cls))
            current = u.cls;
        else
            u.cls = current;
    }

    std::vector<TextRun> runs;
    std::size_t runBegin = 0;
    for (std::size_t i = 1; i <= units.size(); ++i) {
        if (i == units.size() || units[i].cls != units[runBegin].cls) {
            const auto script = units[runBegin].cls == Cls::Latin ? Script::Latin : Script::Han;
            runs.push_back(
                {script, std::string(s.substr(units[runBegin].begin, units[i - 1].end - units[runBegin].begin))});
            runBegin = i;
        }
    }
    return runs;
}

} // namespace quorvel::speech
