// What opening and saving a log file make of its bytes, the same in both editions.

#include "ui/logfile/RichText.h"

#include <algorithm>

namespace quorvel::logfile {
namespace {

// Binary data is no plain text: a NUL byte cannot stand in a text file of ours or of Notepad's
// (UTF-16 files carry a byte-order mark and are taken apart before this check).
bool LooksLikeText(std::string_view bytes)
{
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return true;
    return bytes.find('\0') == std::string_view::npos;
}

} // namespace

RichText DecodeLogFile(std::string_view bytes)
{
    RichText text;
    if (std::optional<RichText> rich = ReadRtf(bytes)) {
        text = std::move(*rich);
    } else {
        if (!LooksLikeText(bytes))
            throw LogFileError("Failed to Load Stream");
        text.runs.push_back(TextRun{DecodePlainText(bytes), Color{}, false, false, false});
    }
    BreakLongLines(text, MaxLogLineChars);
    return text;
}

std::string EncodeLogFile(const RichText& text, bool plainText)
{
    return plainText ? EncodePlainText(text.plainText()) : WriteRtf(text);
}

bool SavesAsPlainText(std::string_view fileName)
{
    const std::size_t slash = fileName.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return true;
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return extension != "rtf";
}

std::string CannotOpenFileText(std::string_view path, std::string_view reason)
{
    return "Cannot open file \"" + std::string(path) + "\". " + std::string(reason);
}

std::string CannotCreateFileText(std::string_view path, std::string_view reason)
{
    return "Cannot create file \"" + std::string(path) + "\". " + std::string(reason);
}

} // namespace quorvel::logfile
