#include "ui/logfile/LogFiles.h"

#include <QColor>
#include <QFile>
#include <QFont>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFragment>

#include <algorithm>

namespace quorvel::logfile {
namespace {

TextRun FormatOf(const QTextCharFormat& format)
{
    TextRun run;
    const QBrush brush = format.foreground();
    if (brush.style() != Qt::NoBrush) {
        const QColor color = brush.color().toRgb();
        run.color = Color{static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
                          static_cast<std::uint8_t>(color.blue())};
    }
    run.bold = format.fontWeight() >= QFont::DemiBold;
    run.italic = format.fontItalic();
    run.underline = format.fontUnderline();
    return run;
}

void Append(RichText& text, const QTextCharFormat& format, const QString& fragment)
{
    QString cleaned;
    cleaned.reserve(fragment.size());
    for (const QChar c : fragment) {
        const char16_t u = c.unicode();
        if (u == QChar::LineSeparator || u == QChar::ParagraphSeparator)
            cleaned.append(u'\n');
        else if (u != QChar::ObjectReplacementCharacter && u != 0xFDD0 && u != 0xFDD1 && u != 0xFDEF)
            cleaned.append(c); // frame and object markers are no text
    }
    if (cleaned.isEmpty())
        return;
    TextRun run = FormatOf(format);
    run.text = cleaned.toStdString();
    if (!text.runs.empty()) {
        TextRun& last = text.runs.back();
        if (last.color == run.color && last.bold == run.bold && last.italic == run.italic &&
            last.underline == run.underline) {
            last.text += run.text;
            return;
        }
    }
    text.runs.push_back(std::move(run));
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    const auto fail = [&] {
        throw LogFileError(CannotOpenFileText(path.toStdString(), file.errorString().toStdString()));
    };
    if (!file.open(QIODevice::ReadOnly))
        fail();
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail();
    return bytes;
}

} // namespace

RichText FromDocument(const QTextDocument& document)
{
    RichText text;
    bool first = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!first)
            Append(text, block.charFormat(), QStringLiteral("\n"));
        first = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                Append(text, fragment.charFormat(), fragment.text());
        }
    }
    return text;
}

void InsertRichText(const RichText& text, QTextCursor& cursor)
{
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    for (const TextRun& run : text.runs) {
        if (run.text.empty())
            continue;
        QTextCharFormat format;
        format.setForeground(QColor(run.color.red, run.color.green, run.color.blue));
        format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(run.italic);
        format.setFontUnderline(run.underline);
        cursor.insertText(QString::fromStdString(run.text), format);
    }
    cursor.endEditBlock();
}

void AppendToDocument(const RichText& text, QTextDocument& document)
{
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    InsertRichText(text, cursor);
}

RichText ReadLogFile(const QString& path)
{
    const QByteArray bytes = ReadFile(path);
    return DecodeLogFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void LoadLogFile(const QString& path, QTextDocument& document)
{
    document.clear();
    AppendToDocument(ReadLogFile(path), document);
}

std::vector<RichText> SplitForAppending(RichText text, std::size_t maxBytes)
{
    maxBytes = std::max<std::size_t>(maxBytes, 8);
    std::vector<RichText> parts(1);
    std::size_t partBytes = 0;
    for (const TextRun& run : text.runs) {
        std::string_view rest = run.text;
        while (!rest.empty()) {
            if (partBytes >= maxBytes) {
                parts.emplace_back();
                partBytes = 0;
            }
            std::size_t take = std::min(rest.size(), maxBytes - partBytes);
            if (take < rest.size()) {
                // Prefer a line end in the last quarter; never cut a UTF-8 sequence.
                const std::size_t newline = rest.rfind('\n', take - 1);
                if (newline != std::string_view::npos && newline + 1 >= take - take / 4)
                    take = newline + 1;
                while (take > 0 && (static_cast<unsigned char>(rest[take]) & 0xC0) == 0x80)
                    --take;
                if (take == 0 && partBytes > 0) {
                    partBytes = maxBytes; // no whole character fits any more
                    continue;
                }
                if (take == 0) // no character boundary at all: not UTF-8, cut anyway
                    take = std::min(rest.size(), maxBytes);
            }
            parts.back().runs.push_back(
                TextRun{std::string(rest.substr(0, take)), run.color, run.bold, run.italic, run.underline});
            partBytes += take;
            rest.remove_prefix(take);
            if (!rest.empty())
                partBytes = maxBytes; // the part ends where the run was cut
        }
    }
    return parts;
}

void SaveLogFile(const QString& path, bool plainText, const QTextDocument& document)
{
    const std::string bytes = EncodeLogFile(FromDocument(document), plainText);

    // Written beside the old file and renamed over it, so a failed save leaves the old log whole.
    QSaveFile file(path);
    const auto fail = [&] {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw LogFileError(CannotCreateFileText(path.toStdString(), reason.toStdString()));
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        fail();
    if (!file.commit())
        fail();
}

} // namespace quorvel::logfile
