// The real speech layer through the interface the main window uses, run without a sound server
// (ctest points PULSE_SERVER at a socket that does not exist): speaking must neither crash nor
// hang nor stall the event loop, and the WAV export works all the same.

#include "speech/SpeechFactory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>
#include <sndfile.h>

namespace quorvel::speech {
namespace {

constexpr int kLongWaitMs = 60000;

QString LongText()
{
    QString text;
    for (int i = 0; i < 300; ++i)
        text += QStringLiteral("这是一段很长的聊天记录，用来测试导出。This line is part of a long log.\n");
    return text;
}

TEST(SpeechLayer, VoiceListStartsWithMandarinThenEnglish)
{
    auto speech = CreateSpeech();
    const auto names = speech->voiceNames();
    ASSERT_GE(names.size(), 2);
    EXPECT_EQ(names[0], QStringLiteral("Chinese (Mandarin) \u2014 cmn"));
    EXPECT_TRUE(names[1].startsWith(QStringLiteral("English"))) << names[1].toStdString();
    EXPECT_FALSE(names.join('\n').contains(QStringLiteral("mb-"))) << "no MBROLA data on this machine";
}

TEST(SpeechLayer, SpeakingWithoutASoundServerNeitherHangsNorStopsTheEventLoop)
{
    auto speech = CreateSpeech();
    QElapsedTimer t;
    t.start();
    speech->speak(Channel::Own, QStringLiteral("你好，hello"), 0, 0, 100);
    speech->speak(Channel::Friend, QStringLiteral("朋友说：hello world"), 1, 5, 50);
    speech->speak(Channel::Own, QStringLiteral("second message"), 1, -10, 100);
    speech->speak(Channel::Own, QString(), 0, 0, 100); // empty text: nothing, no fault
    speech->speak(Channel::Friend, QStringLiteral("bad voice"), -1, 0, 100);
    speech->speak(Channel::Friend, QStringLiteral("bad voice"), 100000, 0, 100);
    speech->stop(Channel::Own);
    speech->stopAll();
    speech->speak(Channel::Own, QStringLiteral("after stop"), 0, 0, 100);
    EXPECT_LT(t.elapsed(), 5000) << "speak returns at once";

    // The event loop keeps running: a timer fires while the synthesis chunks are delivered.
    bool fired = false;
    QTimer::singleShot(200, [&] { fired = true; });
    QElapsedTimer wait;
    wait.start();
    while (!fired && wait.elapsed() < kLongWaitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(fired);
}

TEST(SpeechLayer, DestroyingWhileSpeakingIsSafe)
{
    for (int i = 0; i < 5; ++i) {
        auto speech = CreateSpeech();
        speech->speak(Channel::Own, LongText(), 0, 0, 100);
        speech->speak(Channel::Friend, LongText(), 1, 0, 100);
        QCoreApplication::processEvents();
    }
    SUCCEED();
}

struct ReadBack {
    bool opened = false;
    SF_INFO info{};
};

ReadBack Read(const QString& path)
{
    ReadBack r;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &r.info);
    if (f) {
        r.opened = true;
        sf_close(f);
    }
    return r;
}

TEST(SpeechLayer, WavExportRunsOffTheGuiThreadAndReportsProgress)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto speech = CreateSpeech();
    QSignalSpy progress(speech.get(), &Speech::wavExportProgress);
    QSignalSpy finished(speech.get(), &Speech::wavExportFinished);
    const QString path = dir.filePath(QStringLiteral("日志.wav"));

    ASSERT_TRUE(speech->startWavExport(QStringLiteral("你好，今天用QQ聊天。\nHello there."), 0, path));
    EXPECT_FALSE(speech->startWavExport(QStringLiteral("again"), 0, dir.filePath("b.wav"))) << "one export at a time";
    ASSERT_TRUE(finished.wait(kLongWaitMs));
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished[0][0].toBool()) << finished[0][2].toString().toStdString();
    EXPECT_FALSE(finished[0][1].toBool());
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last()[0].toInt(), 100);

    const auto wav = Read(path);
    ASSERT_TRUE(wav.opened);
    EXPECT_EQ(wav.info.samplerate, 16000);
    EXPECT_EQ(wav.info.channels, 1);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_GT(wav.info.frames, 16000);
    EXPECT_FALSE(QFile::exists(dir.filePath("b.wav")));

    // Done: a new export may start.
    EXPECT_TRUE(speech->startWavExport(QStringLiteral("again"), 1, dir.filePath("c.wav")));
    EXPECT_TRUE(finished.wait(kLongWaitMs));
}

TEST(SpeechLayer, CancelledExportDeletesItsFile)
{
    QTemporaryDir dir;
    auto speech = CreateSpeech();
    QSignalSpy finished(speech.get(), &Speech::wavExportFinished);
    const QString path = dir.filePath(QStringLiteral("long.wav"));
    ASSERT_TRUE(speech->startWavExport(LongText(), 0, path));
    speech->cancelWavExport();
    ASSERT_TRUE(finished.wait(kLongWaitMs));
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_TRUE(finished[0][1].toBool());
    EXPECT_TRUE(finished[0][2].toString().isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST(SpeechLayer, ExportFailures)
{
    QTemporaryDir dir;
    auto speech = CreateSpeech();
    QSignalSpy finished(speech.get(), &Speech::wavExportFinished);

    EXPECT_FALSE(speech->startWavExport(QStringLiteral("x"), -1, dir.filePath("a.wav")));
    EXPECT_FALSE(speech->startWavExport(QStringLiteral("x"), 100000, dir.filePath("a.wav")));
    EXPECT_FALSE(QFile::exists(dir.filePath("a.wav")));

    const QString bad = dir.filePath(QStringLiteral("no/such/folder/a.wav"));
    ASSERT_TRUE(speech->startWavExport(QStringLiteral("hello"), 0, bad));
    ASSERT_TRUE(finished.wait(kLongWaitMs));
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_FALSE(finished[0][1].toBool());
    EXPECT_EQ(finished[0][2].toString(),
              QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(bad));
}

TEST(SpeechLayer, SpeakingGoesOnDuringAnExport)
{
    QTemporaryDir dir;
    auto speech = CreateSpeech();
    QSignalSpy finished(speech.get(), &Speech::wavExportFinished);
    ASSERT_TRUE(speech->startWavExport(LongText(), 0, dir.filePath("x.wav")));
    for (int i = 0; i < 20; ++i) {
        speech->speak(Channel::Friend, QStringLiteral("message %1").arg(i), 1, 0, 100);
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(finished.wait(kLongWaitMs * 2));
    EXPECT_TRUE(finished[0][0].toBool());
}

} // namespace
} // namespace quorvel::speech

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
