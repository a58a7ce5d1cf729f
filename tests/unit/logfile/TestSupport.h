#pragma once
// Helpers shared by the log file tests.

#include "ui/logfile/RichText.h"

#include <ostream>
#include <string>

namespace quorvel::logfile {

inline std::ostream& operator<<(std::ostream& out, const TextRun& run)
{
    return out << "{\"" << run.text << "\" rgb(" << int(run.color.red) << ',' << int(run.color.green) << ','
               << int(run.color.blue) << ')' << (run.bold ? " bold" : "") << (run.italic ? " italic" : "")
               << (run.underline ? " underline" : "") << '}';
}

// Adjacent runs of equal format merged, empty runs dropped: the form in which runs compare.
inline RichText Normalized(const RichText& text)
{
    RichText out;
    for (const TextRun& run : text.runs) {
        if (run.text.empty())
            continue;
        if (!out.runs.empty()) {
            TextRun& last = out.runs.back();
            if (last.color == run.color && last.bold == run.bold && last.italic == run.italic &&
                last.underline == run.underline) {
                last.text += run.text;
                continue;
            }
        }
        out.runs.push_back(run);
    }
    return out;
}

inline constexpr Color Black{0, 0, 0};
inline constexpr Color Green{0, 128, 0};
inline constexpr Color Blue{0, 0, 255};

} // namespace quorvel::logfile
