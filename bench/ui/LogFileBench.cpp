// Reading and writing a 10,000-line chat log: RTF, plain text, and the QTextDocument it lands in;
// saving and reopening a 100,000-message log through the log view; 50 MB files that are no log.

#include "app/LogFileLoader.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/logfile/LogFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <benchmark/benchmark.h>

using namespace quorvel::logfile;

namespace {

// Half headers (green or blue), half black bodies of mixed Chinese, ASCII and emoji.
RichText ChatLog(int lines)
{
    RichText text;
    for (int i = 0; i < lines / 2; ++i) {
        const Color header = i % 2 == 0 ? Color{0, 128, 0} : Color{0, 0, 255};
        text.runs.push_back({"Ann 说 (09:05:" + std::to_string(i % 60) + "):\n", header});
        text.runs.push_back({"今天的周会改到下午三点，地点不变。 See you 😀 #" + std::to_string(i) + "\n", Color{}});
    }
    return text;
}

constexpr int Lines = 10000;

void WriteRtfLog(benchmark::State& state)
{
    const RichText text = ChatLog(Lines);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string rtf = WriteRtf(text);
        bytes = rtf.size();
        benchmark::DoNotOptimize(rtf.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(WriteRtfLog)->Unit(benchmark::kMillisecond);

void ReadRtfLog(benchmark::State& state)
{
    const std::string rtf = WriteRtf(ChatLog(Lines));
    for (auto _ : state) {
        auto text = ReadRtf(rtf);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rtf.size()));
}
BENCHMARK(ReadRtfLog)->Unit(benchmark::kMillisecond);

void ReadGbkRtfLog(benchmark::State& state)
{
    // The form WordPad on a Chinese system writes: code page 936 bytes as \'hh.
    std::string rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}\\f0 ";
    for (int i = 0; i < Lines; ++i)
        rtf += "Ann \\'cb\\'b5 (09:05:07):\\par \\'bd\\'f1\\'cc\\'ec\\'b5\\'c4\\'d6\\'dc\\'bb\\'e1\\par\n";
    rtf += "}";
    for (auto _ : state) {
        auto text = ReadRtf(rtf);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rtf.size()));
}
BENCHMARK(ReadGbkRtfLog)->Unit(benchmark::kMillisecond);

void DecodeGb18030Log(benchmark::State& state)
{
    std::string bytes;
    for (int i = 0; i < Lines; ++i)
        bytes += "Ann \xcb\xb5 (09:05:07):\r\n\xbd\xf1\xcc\xec\xb5\xc4\xd6\xdc\xbb\xe1\r\n";
    for (auto _ : state) {
        auto text = DecodePlainText(bytes);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(DecodeGb18030Log)->Unit(benchmark::kMillisecond);

void AppendLogToDocument(benchmark::State& state)
{
    const RichText text = ChatLog(Lines);
    for (auto _ : state) {
        QTextDocument document;
        AppendToDocument(text, document);
        benchmark::DoNotOptimize(document.characterCount());
    }
}
BENCHMARK(AppendLogToDocument)->Unit(benchmark::kMillisecond);

// One line at a time behind a growing log, as chat messages arrive: the cost must stay flat.
void AppendLineAtLogSize(benchmark::State& state)
{
    QTextDocument document;
    AppendToDocument(ChatLog(static_cast<int>(state.range(0))), document);
    const RichText line{{{"Bob 说 (09:05:07):\n", Color{0, 128, 0}}, {"hello there\n", Color{}}}};
    for (auto _ : state)
        AppendToDocument(line, document);
}
BENCHMARK(AppendLineAtLogSize)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void DocumentToRtf(benchmark::State& state)
{
    QTextDocument document;
    AppendToDocument(ChatLog(Lines), document);
    for (auto _ : state) {
        const std::string rtf = WriteRtf(FromDocument(document));
        benchmark::DoNotOptimize(rtf.data());
    }
}
BENCHMARK(DocumentToRtf)->Unit(benchmark::kMillisecond);

// The log view as chat fills it: a coloured header and a black body per message.
void FillView(quorvel::ui::LogView& view, int messages)
{
    const QString body = QStringLiteral("今天的周会改到下午三点，地点不变。 See you 😀 #%1");
    for (int i = 0; i < messages; ++i) {
        view.AddLogLine(QStringLiteral("Ann 说 (09:05:%1):").arg(i % 60, 2, 10, QLatin1Char('0')),
                        i % 2 == 0 ? QColor(0, 128, 0) : QColor(0, 0, 255), false);
        view.AddLogLine(body.arg(i), Qt::black, false);
    }
}

constexpr int BigLogMessages = 100000;

// Argument: 1 plain text, 0 RTF.
void SaveBigLogFromView(benchmark::State& state)
{
    const bool plain = state.range(0) != 0;
    quorvel::ui::LogView view;
    FillView(view, BigLogMessages);
    QTemporaryDir dir;
    const QString path = dir.filePath(plain ? QStringLiteral("big.txt") : QStringLiteral("big.rtf"));
    for (auto _ : state)
        SaveLogFile(path, plain, *view.document());
    state.counters["MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
}
BENCHMARK(SaveBigLogFromView)->ArgName("plain")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// The big log, saved through the real code in the chosen format.
QString SaveBigLog(const QTemporaryDir& dir, bool plain)
{
    const QString path = dir.filePath(plain ? QStringLiteral("big.txt") : QStringLiteral("big.rtf"));
    quorvel::ui::LogView source;
    FillView(source, BigLogMessages);
    SaveLogFile(path, plain, *source.document());
    return path;
}

void OpenBigLogIntoView(benchmark::State& state)
{
    const bool plain = state.range(0) != 0;
    QTemporaryDir dir;
    const QString path = SaveBigLog(dir, plain);
    quorvel::ui::LogView view;
    view.resize(300, 400);
    view.show();
    for (auto _ : state) {
        LoadLogFile(path, *view.document());
        QApplication::processEvents(); // the view lays out what it shows
    }
    state.counters["lines"] = view.document()->blockCount();
}
BENCHMARK(OpenBigLogIntoView)->ArgName("plain")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// The way a big file opens in the program: read and decode (off the window's thread there), fill a
// fresh document in parts, then show it in place of the old one.
void OpenBigLogInParts(benchmark::State& state)
{
    const bool plain = state.range(0) != 0;
    QTemporaryDir dir;
    const QString path = SaveBigLog(dir, plain);
    quorvel::ui::LogView view;
    view.resize(300, 400);
    view.show();
    double decode = 0, fill = 0, show = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const std::vector<RichText> parts = SplitForAppending(ReadLogFile(path), 64 * 1024);
        decode += static_cast<double>(clock.restart());
        QTextDocument* document = view.makeDocument();
        for (const RichText& part : parts)
            AppendToDocument(part, *document);
        fill += static_cast<double>(clock.restart());
        view.showDocument(document);
        QApplication::processEvents();
        show += static_cast<double>(clock.elapsed());
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["decode_ms"] = decode / runs;
    state.counters["fill_ms"] = fill / runs;
    state.counters["show_ms"] = show / runs;
}
BENCHMARK(OpenBigLogInParts)->ArgName("plain")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// A 50 MB file that is no log, opened as the window does: the figure that counts is the longest time
// the window's thread goes without turning its event loop. Argument: 0 random bytes, 1 one huge RTF
// group of text, 2 a JPEG-like binary.
void OpenNonLogFile(benchmark::State& state)
{
    QByteArray bytes(50 << 20, 'a');
    if (state.range(0) == 1) {
        bytes.prepend("{\\rtf1{\\b ");
        bytes.append("}}");
    } else {
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        if (state.range(0) == 2)
            bytes.replace(0, 11, QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11));
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("not-a-log"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        state.SkipWithError("cannot write the file");
    file.close();

    QWidget window;
    auto* view = new quorvel::ui::LogView(&window);
    quorvel::app::LogFileLoader loader(&window, view, nullptr);
    window.show();
    qint64 longest = 0;
    for (auto _ : state) {
        quorvel::ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        QEventLoop loop;
        QObject::connect(&loader, &quorvel::app::LogFileLoader::finished, &loop, &QEventLoop::quit);
        QElapsedTimer sinceTurn;
        sinceTurn.start();
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [&] { longest = std::max(longest, sinceTurn.restart()); });
        ticks.start(1);
        loader.load(path);
        if (loader.loading())
            loop.exec();
        longest = std::max(longest, sinceTurn.elapsed());
    }
    state.counters["longest_stall_ms"] = static_cast<double>(longest);
    state.counters["lines"] = view->document()->blockCount();
}
BENCHMARK(OpenNonLogFile)->ArgName("kind")->Arg(0)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
