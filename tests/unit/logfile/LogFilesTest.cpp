// Opening and saving the log through QTextDocument: formats, RTF or plain text by the file's content,
// error texts and the atomic save.

#include "ui/logfile/LogFiles.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace quorvel::logfile {
namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

RichText ChatLog()
{
    return RichText{{{"Ann 说 (09:05:07):", Green},
                     {"\nHello {world} \\ 😀\t中文\n", Black},
                     {"Bob 说 (09:05:09):", Blue, true},
                     {"\n", Black},
                     {"bold", Black, true},
                     {" italic", Black, false, true},
                     {" underline", Black, false, false, true}}};
}

std::string ErrorOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const LogFileError& error) {
        return error.what();
    }
    return "<no error>";
}

class LogFiles : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

// Runs keep their formats in the document, and a second append goes behind the first.
TEST_F(LogFiles, DocumentKeepsRunsAndFormats)
{
    QTextDocument document;
    AppendToDocument(ChatLog(), document);
    AppendToDocument(RichText{{{"\nsecond", Blue}}}, document);
    RichText expected = ChatLog();
    expected.runs.push_back({"\nsecond", Blue});
    EXPECT_EQ(document.toPlainText().toStdString(), expected.plainText());
    EXPECT_EQ(Normalized(FromDocument(document)).runs, Normalized(expected).runs);
}

TEST_F(LogFiles, FromDocumentTurnsLineSeparatorsIntoNewlines)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("a") + QChar(QChar::LineSeparator) + QStringLiteral("b"));
    EXPECT_EQ(FromDocument(document).plainText(), "a\nb");
}

struct SaveCase {
    const char* name;
    bool plainTextMode;
};

class LogFileRoundTrip : public LogFiles, public testing::WithParamInterface<SaveCase> {};

TEST_P(LogFileRoundTrip, SavedLogOpensWithItsText)
{
    const bool plain = GetParam().plainTextMode;
    QTextDocument document;
    AppendToDocument(ChatLog(), document);
    const QString file = path(plain ? "log.txt" : "log.rtf");
    WriteAll(file, QByteArray(4096, 'z')); // replaced by the save
    SaveLogFile(file, plain, document);

    QTextDocument opened;
    LoadLogFile(file, opened);
    EXPECT_EQ(opened.toPlainText(), document.toPlainText());
    if (!plain) {
        EXPECT_EQ(Normalized(FromDocument(opened)).runs, Normalized(ChatLog()).runs);
    }
}

TEST_P(LogFileRoundTrip, EmptyLog)
{
    const bool plain = GetParam().plainTextMode;
    QTextDocument document;
    const QString file = path("empty");
    SaveLogFile(file, plain, document);
    const QByteArray bytes = ReadAll(file);
    EXPECT_TRUE(plain ? bytes.isEmpty() : bytes.startsWith("{\\rtf1")) << bytes.constData();
    QTextDocument opened;
    AppendToDocument(RichText{{{"old", Black}}}, opened);
    LoadLogFile(file, opened);
    EXPECT_TRUE(opened.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Modes, LogFileRoundTrip, testing::Values(SaveCase{"Rtf", false}, SaveCase{"PlainText", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogFiles, PlainTextFileIsUtf8WithCrLf)
{
    QTextDocument document;
    AppendToDocument(ChatLog(), document);
    SaveLogFile(path("log.txt"), true, document);
    EXPECT_EQ(ReadAll(path("log.txt")).toStdString(), EncodePlainText(ChatLog().plainText()));
    EXPECT_TRUE(ReadAll(path("log.txt")).startsWith("Ann \xE8\xAF\xB4 (09:05:07):\r\nHello"));
}

// The bytes decide, never the name: RTF only where "{\rtf" opens the file.
TEST_F(LogFiles, ContentDecidesBetweenRtfAndText)
{
    struct Row {
        const char* name;
        QByteArray bytes;
        QString shown;
        QColor first; // the first character's colour
    };
    const QByteArray blue = "{\\rtf1{\\colortbl;\\red0\\green0\\blue255;}\\cf1 blue}";
    const Row rows[] = {
        {"rtf.txt", blue, "blue", QColor(0, 0, 255)},
        {"bom-and-blanks.txt", "\xEF\xBB\xBF \r\n\t\r\n" + blue, "blue", QColor(0, 0, 255)},
        {"later.rtf", "see " + blue, "see " + QString::fromLatin1(blue), QColor(0, 0, 0)},
        {"bom-then-text.rtf", "\xEF\xBB\xBFx" + blue, "x" + QString::fromLatin1(blue), QColor(0, 0, 0)},
        {"cut.rtf", "{\\rt", "{\\rt", QColor(0, 0, 0)},
    };
    for (const Row& row : rows) {
        WriteAll(path(row.name), row.bytes);
        QTextDocument opened;
        LoadLogFile(path(row.name), opened);
        EXPECT_EQ(opened.toPlainText(), row.shown) << row.name;
        QTextCursor cursor(&opened);
        cursor.setPosition(1);
        EXPECT_EQ(cursor.charFormat().foreground().color(), row.first) << row.name;
    }
}

TEST_F(LogFiles, WindowsTextFileOpens)
{
    WriteAll(path("chat.txt"), QByteArray("\xD6\xD0\xCE\xC4\r\nline two\r\n")); // GB18030, from Windows
    QTextDocument opened;
    LoadLogFile(path("chat.txt"), opened);
    EXPECT_EQ(opened.toPlainText(), QStringLiteral("中文\nline two\n"));
}

TEST_F(LogFiles, OtherProgramsRtfShowsFormatted)
{
    const QString file = QStringLiteral(QUORVEL_RTF_CORPUS "/lo-chat-zh.rtf");
    if (!QFile::exists(file))
        GTEST_SKIP() << "no RTF corpus at " << QUORVEL_RTF_CORPUS;
    QTextDocument opened;
    LoadLogFile(file, opened);
    const QString text = opened.toPlainText();
    const int header = text.indexOf(QStringLiteral("2024-03-15 09:13:47 李娜"));
    ASSERT_GE(header, 0) << text.toStdString();
    QTextCursor cursor(&opened);
    cursor.setPosition(header + 1);
    EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(0, 0, 255));
}

TEST_F(LogFiles, BinaryFileFailsToLoad)
{
    WriteAll(path("image.png"), QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
    QTextDocument opened;
    EXPECT_EQ(ErrorOf([&] { LoadLogFile(path("image.png"), opened); }), "Failed to Load Stream");
}

TEST_F(LogFiles, MissingFileCannotBeOpenedAndLogIsCleared)
{
    QTextDocument opened;
    AppendToDocument(RichText{{{"old", Black}}}, opened);
    const QString missing = path("missing.rtf");
    EXPECT_EQ(ErrorOf([&] { LoadLogFile(missing, opened); }),
              "Cannot open file \"" + missing.toStdString() + "\". No such file or directory");
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(LogFiles, UnwritablePathCannotBeCreated)
{
    QTextDocument document;
    AppendToDocument(ChatLog(), document);
    const QString file = path("no-such-folder/log.rtf");
    const std::string error = ErrorOf([&] { SaveLogFile(file, false, document); });
    const std::string prefix = "Cannot create file \"" + file.toStdString() + "\". ";
    EXPECT_TRUE(error.starts_with(prefix)) << error;
    EXPECT_GT(error.size(), prefix.size()) << "the system's reason is missing";
    EXPECT_EQ(document.toPlainText().toStdString(), ChatLog().plainText());
}

// A write that fails half-way (here: the file size limit, which holds for root too) must leave
// the old log as it was.
TEST_F(LogFiles, FailedSaveKeepsTheOldFile)
{
    const QString file = path("log.rtf");
    WriteAll(file, QByteArray("{\\rtf1 old log}"));
    QTextDocument document;
    AppendToDocument(RichText{{{std::string(256 * 1024, 'x'), Black}}}, document);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error = ErrorOf([&] { SaveLogFile(file, false, document); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(error.starts_with("Cannot create file \"" + file.toStdString() + "\". ")) << error;
    EXPECT_EQ(ReadAll(file), QByteArray("{\\rtf1 old log}"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("log.rtf")});
}

struct SplitCase {
    const char* name;
    RichText text;
    std::size_t maxBytes;
    bool endsAtLines; // every part but the last ends a line
    bool utf8 = true;
};

class SplitForAppendingTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitForAppendingTest, PartsAddUpToTheTextAndCutBetweenCharacters)
{
    const SplitCase& c = GetParam();
    const std::vector<RichText> parts = SplitForAppending(c.text, c.maxBytes);

    // Byte by byte, every byte keeps its format.
    const auto flatten = [](const std::vector<RichText>& texts) {
        std::vector<std::pair<char, TextRun>> bytes;
        for (const RichText& text : texts)
            for (const TextRun& run : text.runs) {
                TextRun format = run;
                format.text.clear();
                for (const char b : run.text)
                    bytes.emplace_back(b, format);
            }
        return bytes;
    };
    EXPECT_EQ(flatten(parts), flatten({c.text}));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string text = parts[i].plainText();
        EXPECT_LE(text.size(), c.maxBytes) << "part " << i;
        for (const TextRun& run : parts[i].runs) {
            const bool continuation = (static_cast<unsigned char>(run.text.at(0)) & 0xC0) == 0x80;
            EXPECT_FALSE(c.utf8 && continuation) << "part " << i << " cuts a character";
        }
        if (c.endsAtLines && i + 1 < parts.size()) {
            EXPECT_TRUE(text.ends_with('\n')) << "part " << i;
        }
    }
}

std::string Repeat(std::string_view piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitForAppendingTest,
    testing::Values(SplitCase{"Empty", {}, 16, true},
                    SplitCase{"ShortLinesEndParts", {{{Repeat("Ann 说:\nhi 😀\n", 50), Black}}}, 40, true},
                    SplitCase{"OneLongLine", {{{Repeat("x", 1000), Black}}}, 64, false},
                    SplitCase{"ChineseWithoutLineEnds", {{{Repeat("中文", 300), Black}}}, 64, false},
                    SplitCase{"EmojiAtEveryBoundary", {{{Repeat("😀", 300), Black}}}, 10, false},
                    SplitCase{"FormatsAcrossParts",
                              {{{Repeat("Ann:\n", 20), Green}, {"x", Black, true}, {Repeat("y\n", 30), Blue}}},
                              16,
                              true},
                    SplitCase{"NotUtf8", {{{Repeat("\x80", 100), Black}}}, 16, false, false}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

struct BreakCase {
    const char* name;
    RichText text;
    RichText broken;
};

class BreakLongLinesTest : public testing::TestWithParam<BreakCase> {};

TEST_P(BreakLongLinesTest, BreaksOnlyLinesLongerThanTheLimit)
{
    RichText text = GetParam().text;
    BreakLongLines(text, 4);
    EXPECT_EQ(text.runs, GetParam().broken.runs);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BreakLongLinesTest,
    testing::Values(BreakCase{"ShortLinesStay", {{{"abcd\nab\n\nabcd", Black}}}, {{{"abcd\nab\n\nabcd", Black}}}},
                    BreakCase{"LongLineInFours", {{{"abcdefghij\nxy", Black}}}, {{{"abcd\nefgh\nij\nxy", Black}}}},
                    BreakCase{"CountsCharactersNotBytes", {{{"中文中文中😀", Black}}}, {{{"中文中文\n中😀", Black}}}},
                    BreakCase{"LineAcrossRuns",
                              {{{"ab", Green}, {"cd", Blue}, {"ef\ng", Black}}},
                              {{{"ab", Green}, {"cd", Blue}, {"\nef\ng", Black}}}}),
    [](const testing::TestParamInfo<BreakCase>& info) { return info.param.name; });

} // namespace
} // namespace quorvel::logfile

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
