// The real main window over the real live capture, in a network namespace of the test's own (see
// run-in-netns): the messenger peer tool talks MSNP on 127.0.0.1:1863 (and, as a server, on the
// switchboards it hands out), and the log (texts and colours) and what reaches the speech seam (voice,
// text) are checked for several option settings. Only the speech layer is replaced, by a recorder of
// the test's own.

#include "LogLines.h"
#include "app/TFmain.h"
#include "capture/live/InterfaceChoice.h"
#include "capture/live/PcapCaptureSource.h"
#include "speech/Speech.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <memory>

using namespace quorvel;
using quorvel::testing::Line;
using quorvel::testing::Lines;

namespace {

struct SpeakRequest {
    speech::Channel channel;
    QString text;
    int voiceIndex, rate, volume;
};

class RecordingSpeech : public speech::Speech {
    Q_OBJECT
public:
    QList<SpeakRequest> requests;

    QStringList voiceNames() const override { return {"Voice A", "Voice B", "Voice C"}; }
    void speak(speech::Channel channel, const QString& text, int voiceIndex, int rate, int volume) override
    {
        requests.append({channel, text, voiceIndex, rate, volume});
    }
    void stop(speech::Channel) override {}
    void stopAll() override {}
    bool startWavExport(const QString&, int, const QString&) override { return false; }
    void cancelWavExport() override {}
};

const QColor Green(0, 128, 0);
const QColor Blue(0, 0, 255);
const QColor Black(0, 0, 0);
const QString Time = QStringLiteral("\\(\\d\\d:\\d\\d:\\d\\d\\):");

// The peer's scripted conversation as the log shows it. A header with the time where showTime says
// so; the UBM header always has it.
QList<Line> ConversationLog(bool showTime)
{
    const auto header = [showTime](const QString& who) {
        return showTime ? Line{"^" + QRegularExpression::escape(who) + " 说 " + Time + "$", Green, true}
                        : Line{who + " 说 :", Green};
    };
    return {
        header("Alice"),
        {"Hello [微笑]", Black},
        header("我"),
        {"你好，Alice [热烈的笑脸]", Black},
        header("小明"),
        {"今天很忙，晚点聊 [悲伤]", Black},
        header("Alice Smith"),
        {"line one", Black},
        {" line two", Black},
        {"^yahoo@yahoo\\.example 说 " + Time + "$", Blue, true},
        {"Hi from Yahoo [红玫瑰]", Black},
        header("我"),
        {"Hi back [眨眼]", Black},
        header("Alice"), // shares its segment with a typing notification
        {"Are you there?", Black},
        header("我"),
        {"Still here [大笑]", Black},
    };
}

using Requests = QList<QPair<speech::Channel, QString>>;
constexpr auto Own = speech::Channel::Own;
constexpr auto Friend = speech::Channel::Friend;

void CompareLog(const QList<Line>& got, const QList<Line>& want)
{
    for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i) {
        const QByteArray where = "log line " + QByteArray::number(i) + ": " + got[i].text.toUtf8();
        if (want[i].pattern)
            QVERIFY2(QRegularExpression(want[i].text).match(got[i].text).hasMatch(), where.constData());
        else
            QVERIFY2(got[i].text == want[i].text, (where + " wanted " + want[i].text.toUtf8()).constData());
        QVERIFY2(got[i].color == want[i].color, (where + " colour " + got[i].color.name().toUtf8()).constData());
    }
    QCOMPARE(got.size(), want.size());
}

} // namespace

class TFmainCaptureTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<app::TFmain> m_window;
    capture::PcapCaptureSource* m_capture = nullptr;
    RecordingSpeech* m_speech = nullptr;

    void startWindow()
    {
        m_config = std::make_unique<QTemporaryDir>();
        QVERIFY(m_config->isValid());
        auto capture = std::make_unique<capture::PcapCaptureSource>();
        auto speech = std::make_unique<RecordingSpeech>();
        m_capture = capture.get();
        m_speech = speech.get();
        app::Platform platform;
        platform.capture = std::move(capture);
        platform.speech = std::move(speech);
        platform.trayAvailable = false;
        platform.configHome = m_config->path();
        platform.executablePath = QCoreApplication::applicationFilePath();
        platform.baseName = QStringLiteral("quorvel");
        m_window = std::make_unique<app::TFmain>(std::move(platform));
    }

    template <typename T> T* find(const char* name) const
    {
        T* child = m_window->findChild<T*>(QString::fromLatin1(name));
        if (!child)
            qFatal("no child named %s", name);
        return child;
    }

    void setShowTime(bool on)
    {
        auto* item = find<QAction>("NShowTime1");
        if (item->isChecked() != on)
            item->trigger();
    }

    static void runPeer(const QStringList& arguments)
    {
        QProcess peer;
        peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Started through its own "#!/usr/bin/env python3" line, so that any user finds a Python.
        peer.start(QStringLiteral(QUORVEL_PEER), arguments);
        QVERIFY2(peer.waitForFinished(120000), "the peer did not finish");
        const QByteArray summary = peer.readAllStandardOutput().trimmed();
        QVERIFY2(peer.exitStatus() == QProcess::NormalExit && peer.exitCode() == 0, summary.constData());
        qInfo("peer: %s", summary.constData());
    }

    static void ip(const QStringList& arguments) { QCOMPARE(QProcess::execute("ip", arguments), 0); }

    int logLineCount() const { return int(Lines(*m_window->log()->document()).size()); }

    // Each message logged and spoken once, in order: what comes late is waited for a moment.
    void expectLoggedAndSpokenOnce(const QList<Line>& want, const Requests& spoken)
    {
        QTRY_VERIFY_WITH_TIMEOUT(logLineCount() >= want.size(), 60000);
        QTest::qWait(500); // anything logged twice would come now
        CompareLog(Lines(*m_window->log()->document()), want);
        Requests got;
        for (const SpeakRequest& request : m_speech->requests)
            got.append({request.channel, request.text});
        QCOMPARE(got, spoken);
    }

private slots:
    void init() { ui::MessageBox::clearShown(); }
    void cleanup()
    {
        m_window.reset();
        m_config.reset();
    }

    void conversation_data()
    {
        QTest::addColumn<QList<bool>>("boxes"); // CBMe CBmyname CBmyex CBFriend CBFriendsname CBFriendsex
        QTest::addColumn<bool>("showTime");
        QTest::addColumn<Requests>("spoken");
        // Each combination of the boxes is checked on the window with fed datagrams; here the real
        // capture's events reach the log and both voices.

        QTest::newRow("all boxes, no time") << QList<bool>{1, 1, 1, 1, 1, 1} << false
                                            << Requests{{Friend, "Alice 说：Hello [微笑]"},
                                                        {Own, "我说：你好，Alice [热烈的笑脸]"},
                                                        {Friend, "小明 说：今天很忙，晚点聊 [悲伤]"},
                                                        {Friend, "Alice Smith 说：line one\r\n line two"},
                                                        {Friend, "yahoo@yahoo.example 说：Hi from Yahoo [红玫瑰]"},
                                                        {Own, "我说：Hi back [眨眼]"},
                                                        {Friend, "Alice 说：Are you there?"},
                                                        {Own, "我说：Still here [大笑]"}};
        QTest::newRow("messages only, with time")
            << QList<bool>{1, 0, 0, 1, 0, 0} << true << Requests{{Friend, "Hello "},
                                                                 {Own, "你好，Alice "},
                                                                 {Friend, "今天很忙，晚点聊 "},
                                                                 {Friend, "line one\r\n line two"},
                                                                 {Friend, "Hi from Yahoo "},
                                                                 {Own, "Hi back "},
                                                                 {Friend, "Are you there?"},
                                                                 {Own, "Still here "}};
        QTest::newRow("all boxes off") << QList<bool>{0, 0, 0, 0, 0, 0} << false << Requests{};
    }

    void conversation()
    {
        QFETCH(QList<bool>, boxes);
        QFETCH(bool, showTime);
        QFETCH(Requests, spoken);

        startWindow();
        QVERIFY2(ui::MessageBox::shown().isEmpty(), qPrintable(ui::MessageBox::shown().value(0).text));
        QVERIFY(m_capture->isCapturing());
        QCOMPARE(m_capture->interfaceName(), QStringLiteral("lo"));

        const char* names[] = {"CBMe", "CBmyname", "CBmyex", "CBFriend", "CBFriendsname", "CBFriendsex"};
        for (int i = 0; i < 6; ++i)
            find<QCheckBox>(names[i])->setChecked(boxes[i]);
        setShowTime(showTime);
        find<QComboBox>("CBVoice")->setCurrentIndex(1);
        find<QComboBox>("CBVoice1")->setCurrentIndex(2);
        find<QSlider>("TRate")->setValue(3);
        find<QSlider>("TRate1")->setValue(-4);
        find<QSlider>("TVolume")->setValue(70);
        find<QSlider>("TVolume1")->setValue(55);

        runPeer({"script"});
        const QList<Line> want = ConversationLog(showTime);
        // The last message's body is the last line: once it is there, everything before it was handled.
        QTRY_VERIFY_WITH_TIMEOUT(logLineCount() >= want.size(), 60000);
        CompareLog(Lines(*m_window->log()->document()), want);

        Requests got;
        for (const SpeakRequest& request : m_speech->requests) {
            got.append({request.channel, request.text});
            const bool own = request.channel == Own;
            QCOMPARE(request.voiceIndex, own ? 1 : 2);
            QCOMPARE(request.rate, own ? 3 : -4);
            QCOMPARE(request.volume, own ? 70 : 55);
        }
        QCOMPARE(got, spoken);
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

    void burst()
    {
        startWindow();
        QVERIFY(m_capture->isCapturing());
        find<QCheckBox>("CBFriendsname")->setChecked(false);
        find<QCheckBox>("CBmyname")->setChecked(false);
        setShowTime(false);

        constexpr int Count = 2000;
        QElapsedTimer clock;
        clock.start();
        runPeer({"burst", "--count", QString::number(Count)});
        // A frame the kernel dropped never comes: say so instead of waiting out the timeout.
        QTRY_VERIFY2_WITH_TIMEOUT(logLineCount() >= 2 * Count || m_capture->statistics().dropped > 0,
                                  qPrintable(QStringLiteral("%1 log lines").arg(logLineCount())), 300000);
        QCOMPARE(m_capture->statistics().dropped, 0ul);
        const qint64 elapsed = clock.elapsed();

        const QList<Line> lines = Lines(*m_window->log()->document());
        QCOMPARE(lines.size(), 2 * Count);
        QCOMPARE(m_speech->requests.size(), Count);
        for (int seq = 1; seq <= Count; ++seq) {
            const bool own = seq % 2 == 0;
            const QString body = QStringLiteral("burst %1").arg(seq, 6, 10, QLatin1Char('0'));
            const Line& header = lines[2 * (seq - 1)];
            QCOMPARE(header.text, own ? QStringLiteral("我 说 :") : QStringLiteral("Burst 说 :"));
            QCOMPARE(lines[2 * seq - 1].text, body);
            QCOMPARE(m_speech->requests[seq - 1].text, body);
            QCOMPARE(m_speech->requests[seq - 1].channel, own ? Own : Friend);
        }
        const auto counted = m_capture->statistics();
        qInfo("burst through the window: %d messages logged and spoken in order %lld ms after the peer "
              "started; kernel dropped %lu of %lu frames from its ring of %d KiB, queue dropped %lu",
              Count, elapsed, counted.dropped, counted.received, capture::CaptureRingBytes / 1024,
              counted.queueDropped);
    }

    // Messages that TCP splits, merges and sends in parts: each logged and spoken once, whole, in order.
    void segments()
    {
        startWindow();
        QVERIFY(m_capture->isCapturing());
        find<QCheckBox>("CBFriendsname")->setChecked(false);
        find<QCheckBox>("CBmyname")->setChecked(false);
        setShowTime(false);
        runPeer({"segments"});
        const QList<Line> want = {
            {"Alice 说 :", Green}, {"This message arrives in three pieces [微笑]", Black},
            {"我 说 :", Green},    {"我的消息被切成两段 [热烈的笑脸]", Black},
            {"Alice 说 :", Green}, {"first of two", Black},
            {"Bob 说 :", Green},   {"second of two", Black},
            {"Alice 说 :", Green}, {"after typing", Black},
            {"我 说 :", Green},    {"mine after typing", Black},
            {"我 说 :", Green},    {"and one more", Black},
            {"Alice 说 :", Green}, {"A long message sent in two parts", Black},
        };
        expectLoggedAndSpokenOnce(want, Requests{{Friend, "This message arrives in three pieces [微笑]"},
                                {Own, "我的消息被切成两段 [热烈的笑脸]"},
                                {Friend, "first of two"},
                                {Friend, "second of two"},
                                {Friend, "after typing"},
                                {Own, "mine after typing"},
                                {Own, "and one more"},
                                                {Friend, "A long message sent in two parts"}});
    }

    // The peer as a real server: the switchboard on 1864 (a listed port) or on any free port (learned
    // from XFR and RNG), three users in MSNP7 and MSNP18 forms, a group chat on the switchboard and SDG
    // group messages. Each message logged and spoken once, whole, under the name as set.
    void server_data()
    {
        QTest::addColumn<QString>("switchboardPort");
        QTest::newRow("switchboard on 1864") << QStringLiteral("1864");
        QTest::newRow("switchboard on a free port") << QStringLiteral("0");
    }
    void server()
    {
        QFETCH(QString, switchboardPort);
        startWindow();
        QVERIFY(m_capture->isCapturing());
        setShowTime(false);
        runPeer({"server", "--switchboard-port", switchboardPort, "--connect-delay", "0.001"});
        const QList<Line> want = {
            {"Ann 100% 说 :", Green}, {"first after the handout", Black},
            {"我 说 :", Green},       {"第一段", Black},
            {" ", Black},             {" 第二段", Black},
            {"Ann 100% 说 :", Green}, {"[红心] 好的", Black},
            {"小明 说 :", Green},     {"Hi from MSNP18", Black},
            {"我 说 :", Green},       {"Hi bob [微笑]", Black},
            {"Ann 100% 说 :", Green}, {"all three of us", Black},
            {"Ann 100% 说 :", Green}, {"hello group", Black},
            {"小明 说 :", Green},     {"group reply", Black},
            {"我 说 :", Green},       {"mine to the group", Black},
        };
        expectLoggedAndSpokenOnce(want, Requests{{Friend, "Ann 100% 说：first after the handout"},
                                {Own, "我说：第一段\r\n \r\n 第二段"},
                                {Friend, "Ann 100% 说：[红心] 好的"},
                                {Friend, "小明 说：Hi from MSNP18"},
                                {Own, "我说：Hi bob [微笑]"},
                                {Friend, "Ann 100% 说：all three of us"},
                                {Friend, "Ann 100% 说：hello group"},
                                {Friend, "小明 说：group reply"},
                                                {Own, "我说：mine to the group"}});
        if (QTest::currentTestFailed())
            return;
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

    void loopbackDownAndUp()
    {
        startWindow();
        QVERIFY(m_capture->isCapturing());
        setShowTime(false);
        runPeer({"script"});
        const qsizetype once = ConversationLog(false).size();
        QTRY_VERIFY_WITH_TIMEOUT(logLineCount() >= once, 60000);

        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        ip({"link", "set", "lo", "down"});
        QTRY_VERIFY_WITH_TIMEOUT(!ui::MessageBox::shown().isEmpty(), 60000);
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        QCOMPARE(ui::MessageBox::shown()[0].text, QStringLiteral("recv failed with error 100"));
        QCOMPARE(ui::MessageBox::shown()[0].icon, QMessageBox::NoIcon);
        QVERIFY(!m_capture->isCapturing());
        QTest::qWait(5000); // a few quiet re-open attempts, one every 2 s
        QCOMPARE(ui::MessageBox::shown().size(), 1);

        ip({"link", "set", "lo", "up"});
        QTRY_VERIFY_WITH_TIMEOUT(m_capture->isCapturing(), 60000);
        runPeer({"script"});
        QTRY_VERIFY_WITH_TIMEOUT(logLineCount() >= 2 * once, 60000);
        CompareLog(Lines(*m_window->log()->document()), ConversationLog(false) + ConversationLog(false));
        QCOMPARE(ui::MessageBox::shown().size(), 1);
    }

    // Run as a user without the capture permission (run-in-netns --as-nobody).
    void permissionMissing()
    {
        if (::geteuid() == 0)
            QSKIP("runs as a user without the capture permission");
        for (int i = 0; i < 4; ++i)
            ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        startWindow();
        const auto& shown = ui::MessageBox::shown();
        QCOMPARE(shown.size(), 4);
        QVERIFY2(shown[0].text.startsWith("WSASocket failed with error 1\n"), qPrintable(shown[0].text));
        QVERIFY2(shown[0].text.contains("cap_net_raw") || shown[0].text.contains("grant-capture"),
                 qPrintable(shown[0].text));
        QCOMPARE(shown[1].text, QStringLiteral("bind failed with error 9"));
        QCOMPARE(shown[2].text, QStringLiteral("WSAIoctl failed with error 9"));
        QCOMPARE(shown[3].text, QStringLiteral("WSAAsyncSelect failed with error 9"));
        for (const auto& box : shown) {
            QCOMPARE(box.icon, QMessageBox::NoIcon);
            QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }
        QVERIFY(!m_capture->isCapturing());

        // The window stays usable; traffic leaves no trace.
        runPeer({"script"});
        QTest::qWait(500);
        QCOMPARE(logLineCount(), 0);
        QVERIFY(m_speech->requests.isEmpty());
        auto* showTime = find<QAction>("NShowTime1");
        const bool before = showTime->isChecked();
        showTime->trigger();
        QCOMPARE(showTime->isChecked(), !before);
        QCOMPARE(shown.size(), 4);
    }
};

QTEST_MAIN(TFmainCaptureTest)
#include "TFmainCaptureTest.moc"
