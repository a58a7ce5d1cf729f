// Captured datagrams through the fake capture source: log lines with their colours, what reaches
// the fake speech for each option setting, and the one-capture-box-at-a-time rule.

#include "LogLines.h"
#include "Support.h"

#include "ui/LogView.h"
#include "ui/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

using namespace quorvel;
using namespace quorvel::testing;

namespace {

const QColor Green(0, 128, 0);
const QColor Blue(0, 0, 255);
const QColor Black(0, 0, 0);
const QRegularExpression TimeHeader(QStringLiteral("^Ann 说 \\(\\d\\d:\\d\\d:\\d\\d\\):$"));

} // namespace

class EventsTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        ui::MessageBox::clearShown();
        h = std::make_unique<Harness>();
        h->start();
    }
    void cleanup() { h.reset(); }

    void headers_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("showTime");
        QTest::addColumn<QString>("header"); // regular expression
        QTest::addColumn<QColor>("color");
        QTest::addColumn<int>("linesAtSpeak"); // friends are spoken after the header, own after the body
        QTest::newRow("friend MSG, time")
            << FriendMsg("Ann", "Hi") << true << "^Ann 说 \\(\\d\\d:\\d\\d:\\d\\d\\):$" << Green << 1;
        QTest::newRow("friend MSG, no time") << FriendMsg("Ann", "Hi") << false << "^Ann 说 :$" << Green << 1;
        QTest::newRow("friend UBM keeps the time") << FriendUbm("bob@example.org", "Hi") << false
                                                   << "^bob@example.org 说 \\(\\d\\d:\\d\\d:\\d\\d\\):$" << Blue << 1;
        QTest::newRow("own, time") << OwnMsg("Hi") << true << "^我 说 \\(\\d\\d:\\d\\d:\\d\\d\\):$" << Green << 2;
        QTest::newRow("own, no time") << OwnMsg("Hi") << false << "^我 说 :$" << Green << 2;
    }
    void headers()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, showTime);
        QFETCH(QString, header);
        QFETCH(QColor, color);
        QFETCH(int, linesAtSpeak);
        auto* item = h->find<QAction>("NShowTime1");
        if (item->isChecked() != showTime)
            item->trigger();
        int linesWhenSpoken = -1;
        h->speech->onSpeak = [&] { linesWhenSpoken = int(Lines(*h->window->log()->document()).size()); };
        h->capture->deliver(datagram);
        QCOMPARE(linesWhenSpoken, linesAtSpeak);
        const auto lines = Lines(*h->window->log()->document());
        QCOMPARE(lines.size(), 2);
        QVERIFY2(QRegularExpression(header).match(lines[0].text).hasMatch(), qPrintable(lines[0].text));
        QCOMPARE(lines[0].color, color);
        QCOMPARE(lines[1].text, QStringLiteral("Hi"));
        QCOMPARE(lines[1].color, Black);
    }

    void showTimeOnlyAffectsNewLines()
    {
        h->capture->deliver(FriendMsg("Ann", "one"));
        h->trigger("NShowTime1");
        h->capture->deliver(FriendMsg("Ann", "two"));
        h->trigger("NShowTime1");
        h->capture->deliver(FriendMsg("Ann", "three"));
        const auto lines = Lines(*h->window->log()->document());
        QCOMPARE(lines.size(), 6);
        QVERIFY(TimeHeader.match(lines[0].text).hasMatch());
        QCOMPARE(lines[2].text, QStringLiteral("Ann 说 :"));
        QVERIFY(TimeHeader.match(lines[4].text).hasMatch());
    }

    void speaking_data()
    {
        QTest::addColumn<bool>("own");
        QTest::addColumn<bool>("m");
        QTest::addColumn<bool>("n");
        QTest::addColumn<bool>("e");
        QTest::addColumn<QString>("spoken"); // empty: nothing spoken
        QTest::addColumn<QByteArray>("body");
        // Each box on and off once per direction; every combination is in the event handling's table.
        const QString worded = QStringLiteral("Hi[微笑]");
        QTest::newRow("friend M N E") << false << true << true << true << "Ann 说：" + worded << QByteArray("Hi:)");
        QTest::newRow("friend M") << false << true << false << false << "Hi" << QByteArray("Hi:)");
        QTest::newRow("friend N") << false << false << true << false << "Ann 说：" << QByteArray("Hi:)");
        QTest::newRow("friend N E") << false << false << true << true << "Ann 说：" + worded << QByteArray("Hi:)");
        QTest::newRow("friend E") << false << false << false << true << "" << QByteArray("Hi:)");
        QTest::newRow("own M N E") << true << true << true << true << "我说：" + worded << QByteArray("Hi:)");
        QTest::newRow("own M") << true << true << false << false << "Hi" << QByteArray("Hi:)");
        QTest::newRow("own N") << true << false << true << false << "我说：" << QByteArray("Hi:)");
        // A body of emoticons alone is silent without them.
        QTest::newRow("friend M, emoticon only") << false << true << false << false << "" << QByteArray(":)");
        QTest::newRow("friend M E, emoticon only") << false << true << false << true << "[微笑]" << QByteArray(":)");
    }
    void speaking()
    {
        QFETCH(bool, own);
        QFETCH(bool, m);
        QFETCH(bool, n);
        QFETCH(bool, e);
        QFETCH(QString, spoken);
        QFETCH(QByteArray, body);
        h->find<QCheckBox>(own ? "CBMe" : "CBFriend")->setChecked(m);
        h->find<QCheckBox>(own ? "CBmyname" : "CBFriendsname")->setChecked(n);
        h->find<QCheckBox>(own ? "CBmyex" : "CBFriendsex")->setChecked(e);
        // The other direction's boxes must not matter.
        for (const char* other : {"CBMe", "CBmyname", "CBmyex", "CBFriend", "CBFriendsname", "CBFriendsex"})
            if (QString(other).contains("Friend") == own)
                h->find<QCheckBox>(other)->setChecked(false);
        h->find<QComboBox>(own ? "CBVoice" : "CBVoice1")->setCurrentIndex(2);
        h->find<QSlider>(own ? "TRate" : "TRate1")->setValue(-3);
        h->find<QSlider>(own ? "TVolume" : "TVolume1")->setValue(40);

        h->capture->deliver(own ? OwnMsg(body) : FriendMsg("Ann", body));

        // The log is the same whatever the options say.
        const auto lines = Lines(*h->window->log()->document());
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1].text, QString::fromUtf8(body).replace(":)", QStringLiteral("[微笑]")));
        if (spoken.isEmpty()) {
            QCOMPARE(h->speech->speakCalls.size(), 0);
            return;
        }
        QCOMPARE(h->speech->speakCalls.size(), 1);
        const SpeakCall call = h->speech->speakCalls[0];
        QCOMPARE(call.channel, own ? speech::Channel::Own : speech::Channel::Friend);
        QCOMPARE(call.text, spoken);
        QCOMPARE(call.voiceIndex, 2);
        QCOMPARE(call.rate, -3);
        QCOMPARE(call.volume, 40);
    }

    // The two options on "选项" reach what is spoken with the next message; the log keeps the text.
    void linksAndLength_data()
    {
        QTest::addColumn<bool>("links");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("spoken");
        const QString body = QStringLiteral("看 https://www.Example.com/a?b=1 好");
        QTest::newRow("defaults") << true << 300 << "Ann 说：看 链接www.example.com 好";
        QTest::newRow("links read out") << false << 300 << "Ann 说：" + body;
        QTest::newRow("cut after the link") << true << 4 << QStringLiteral("Ann 说：看 链接……(以下省略)");
        QTest::newRow("no limit") << false << 0 << "Ann 说：" + body;
    }
    void linksAndLength()
    {
        QFETCH(bool, links);
        QFETCH(int, max);
        QFETCH(QString, spoken);
        h->find<QCheckBox>("CBLinks")->setChecked(links);
        h->find<QSpinBox>("SEMaxSpoken")->setValue(max);
        const QByteArray body = "看 https://www.Example.com/a?b=1 好";
        h->capture->deliver(FriendMsg("Ann", body));
        QCOMPARE(Lines(*h->window->log()->document()).last().text, QString::fromUtf8(body));
        QCOMPARE(h->speech->speakCalls.size(), 1);
        QCOMPARE(h->speech->speakCalls[0].text, spoken);
    }

    void friendEmptyBodyShowsHeader()
    {
        h->capture->deliver(FriendMsg("Ann", ""));
        const auto lines = Lines(*h->window->log()->document());
        QCOMPARE(lines.size(), 1);
        QVERIFY(TimeHeader.match(lines[0].text).hasMatch());
    }

    void multiLineBodyIsOneBlackBlock()
    {
        h->capture->deliver(FriendMsg("Ann", "first\r\nsecond\r\nthird"));
        h->capture->deliver(OwnMsg("reply"));
        const auto lines = Lines(*h->window->log()->document());
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[1].text, QStringLiteral("first"));
        // Follow-on lines keep the blank that the body rules put in front of them.
        QCOMPARE(lines[2].text, QStringLiteral(" second"));
        QCOMPARE(lines[3].text, QStringLiteral(" third"));
        for (int i : {1, 2, 3, 5})
            QCOMPARE(lines[i].color, Black);
        QCOMPARE(lines[0].color, Green);
        QCOMPARE(lines[4].color, Green);
        // Scrolled to the end: the caret sits behind the last body.
        QCOMPARE(h->window->log()->textCursor().position(), h->window->log()->document()->characterCount() - 1);
    }

    void userTypedTextKeepsItsColour()
    {
        h->capture->deliver(FriendUbm("bob@example.org", "Hi"));
        QTextCursor cursor(h->window->log()->document());
        cursor.movePosition(QTextCursor::End);
        QTextCharFormat red;
        red.setForeground(QColor(255, 0, 0));
        red.setFontWeight(QFont::Bold);
        cursor.insertBlock();
        cursor.insertText("typed", red);
        h->capture->deliver(FriendMsg("Ann", "later"));
        const auto lines = Lines(*h->window->log()->document());
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0].color, Blue);
        QCOMPARE(lines[2].color, QColor(255, 0, 0));
        QCOMPARE(lines[3].color, Green);
        QCOMPARE(lines[4].color, Black);
        // New lines take the end's formatting, here the typed text's, with their own colour.
        const QTextBlock last = h->window->log()->document()->lastBlock();
        QCOMPARE(last.begin().fragment().charFormat().fontWeight(), QFont::Bold);
    }

    void ignoredTraffic_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::newRow("other port") << Datagram(80, 50000, "MSG a b 1\r\nContent-Type: text/plain\r\n\r\nx");
        QTest::newRow("not plain text") << Datagram(1863, 50000,
                                                    "MSG a b 1\r\nContent-Type: text/x-msmsgscontrol\r\n\r\n");
        QTest::newRow("too short") << QByteArray("\x45\x00", 2);
        QTest::newRow("own empty body") << OwnMsg("");
        QTest::newRow("own blank body") << OwnMsg("   ");
    }
    void ignoredTraffic()
    {
        QFETCH(QByteArray, datagram);
        h->capture->deliver(datagram);
        QVERIFY(h->window->log()->document()->isEmpty());
        QCOMPARE(h->speech->speakCalls.size(), 0);
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

    void oneCaptureBoxAtATime()
    {
        const QByteArray bad = Datagram(1863, 50000, "MSG text/plain\r\n");
        int boxesWhileOpen = -1;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll.stop();
            // More reports while the box is open are dropped; chat goes on meanwhile.
            h->capture->deliver(bad);
            h->capture->fail(QStringLiteral("pcap_next_ex failed with error 3"));
            h->capture->deliver(FriendMsg("Ann", "meanwhile"));
            int open = 0;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<QMessageBox*>(w) && w->isVisible())
                    ++open;
            boxesWhileOpen = open;
            box->button(QMessageBox::Ok)->click();
        });
        poll.start();
        h->capture->deliver(bad);
        QCOMPARE(boxesWhileOpen, 1);
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        QCOMPARE(ui::MessageBox::shown()[0].text, QStringLiteral("List index out of bounds (2)."));
        QCOMPARE(ui::MessageBox::shown()[0].caption, QStringLiteral("Quorvel"));
        QCOMPARE(ui::MessageBox::shown()[0].icon, QMessageBox::Critical);
        QCOMPARE(Lines(*h->window->log()->document()).value(1).text, QStringLiteral("meanwhile"));

        // Once it is closed the next report shows again.
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h->capture->fail(QStringLiteral("pcap_next_ex failed with error 3"));
        QCOMPARE(ui::MessageBox::shown().size(), 2);
        QCOMPARE(ui::MessageBox::shown()[1].text, QStringLiteral("pcap_next_ex failed with error 3"));
        QCOMPARE(ui::MessageBox::shown()[1].icon, QMessageBox::NoIcon);
    }

    void stopSpeaking()
    {
        h->trigger("StopSpeak1");
        QCOMPARE(h->speech->stopAllCalls, 1);
        h->capture->deliver(FriendMsg("Ann", "again"));
        QCOMPARE(h->speech->speakCalls.size(), 1);
    }

    void noVoiceSelected()
    {
        Harness empty;
        empty.voices = {};
        empty.start();
        empty.capture->deliver(OwnMsg("Hi"));
        QCOMPARE(empty.speech->speakCalls.size(), 1);
        QCOMPARE(empty.speech->speakCalls[0].voiceIndex, -1);
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

private:
    std::unique_ptr<Harness> h;
};

QTEST_MAIN(EventsTest)
#include "EventsTest.moc"
