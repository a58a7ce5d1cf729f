// Field splitting, sender names and body rules on arbitrary bytes, with the invariants they keep.

#include "text/SpeechText.h"
#include "text/Tables.h"
#include "text/TextRules.h"
#include "text/Utf8.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace quorvel::text;

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool IsSubsequence(std::string_view part, std::string_view whole)
{
    std::size_t j = 0;
    for (std::size_t i = 0; i < whole.size() && j < part.size(); ++i)
        if (whole[i] == part[j])
            ++j;
    return j == part.size();
}

bool Blank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool validInput = IsValidUtf8(input);

    const auto all = SplitFields(input);
    const auto three = SplitFields(input, 3);
    Check(three.size() == std::min<std::size_t>(all.size(), 3), "field count with a limit");
    for (std::size_t i = 0; i < three.size(); ++i)
        Check(three[i] == all[i], "limited split is a prefix of the full split");
    for (const auto& field : all) {
        Check(field.find('\0') == std::string::npos, "no NUL in a field");
        Check(!validInput || IsValidUtf8(field), "field is valid UTF-8");
    }

    const auto account = ExtractAccount(input);
    Check(account.ok() == (all.size() >= 2), "account present exactly when field 1 exists");
    Check(account.ok() ? account.value() == all[1] : account.missingIndex() == 1, "account is field 1");

    const auto nickname = ExtractNickname(input);
    Check(nickname.ok() == (all.size() >= 3), "nickname present exactly when field 2 exists");
    if (nickname.ok()) {
        const std::string& name = nickname.value();
        Check(name.empty() || !Blank(name.front()), "nickname does not begin with a blank");
        for (auto c : NicknameCutCharacters)
            Check(name.find(c) == std::string::npos, "nickname holds no cut character");
        for (auto code : NicknameCodeSteps)
            Check(name.find(code) == std::string::npos, "nickname holds no code");
        Check(!validInput || IsValidUtf8(name), "nickname is valid UTF-8");
    } else {
        Check(nickname.missingIndex() == 2 && nickname.errorMessage() == "List index out of bounds (2)",
              "missing nickname names index 2");
    }

    const std::string body = ExtractBody(input);
    Check(body.find('\0') == std::string::npos, "no NUL in the body");
    Check(body.empty() || (!Blank(body.front()) && !Blank(body.back())), "body is trimmed");
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r')
            Check(i + 1 < body.size() && body[i + 1] == '\n', "CR only as part of CR LF");
        if (body[i] == '\n')
            Check(i > 0 && body[i - 1] == '\r', "LF only as part of CR LF");
    }
    Check(!validInput || IsValidUtf8(body), "body is valid UTF-8");

    const std::string worded = EmoticonsToWords(input);
    for (const auto& entry : EmoticonWordTable)
        Check(worded.find(entry.code) == std::string::npos, "worded text holds no code");
    Check(worded.size() >= body.size(), "words are longer than codes");
    Check(!validInput || IsValidUtf8(worded), "worded text is valid UTF-8");

    const std::string stripped = RemoveEmoticons(input);
    Check(IsSubsequence(stripped, body), "removal only deletes");
    Check(!validInput || IsValidUtf8(stripped), "stripped text is valid UTF-8");

    const std::string spoken = SpeakLinks(worded);
    Check(!validInput || IsValidUtf8(spoken), "text with links spoken is valid UTF-8");
    for (const std::size_t limit : {std::size_t{1}, std::size_t{7}, std::size_t{300}}) {
        const std::string cut = CutForSpeech(spoken, limit);
        if (cut == spoken)
            continue;
        const std::string_view kept = std::string_view(cut).substr(0, cut.size() - OmittedMark.size());
        Check(cut.ends_with(OmittedMark) && spoken.starts_with(kept), "a cut keeps a prefix and adds the mark");
        Check(!validInput || IsValidUtf8(cut), "cut text is valid UTF-8");
        std::size_t characters = 0;
        for (const char c : kept)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        Check(characters <= limit, "a cut keeps no more than the limit");
    }
    return 0;
}
