// Start-up and shut-down through the real settings store and autostart entry: defaults, values
// surviving a restart, the stored-index rule, clamping, and errors of the settings folder.

#include "LogLines.h"
#include "Support.h"

#include "ui/LogView.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>

using namespace quorvel;
using namespace quorvel::testing;

namespace {

QMap<QString, QString> ReadIni(const QString& path)
{
    QMap<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const int eq = line.indexOf('=');
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1));
    }
    return values;
}

void WriteIni(const QString& path, const QByteArray& body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[set]\n" + body);
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ui::MessageBox::clearShown(); }

    void defaultsWithoutFile()
    {
        Harness h;
        h.start();
        QCOMPARE(h.find<QComboBox>("CBVoice")->currentIndex(), 0);
        QCOMPARE(h.find<QComboBox>("CBVoice1")->currentIndex(), 0);
        QCOMPARE(h.find<QComboBox>("CBVoice")->count(), 3);
        QCOMPARE(h.find<QSlider>("TRate")->value(), 0);
        QCOMPARE(h.find<QSlider>("TVolume1")->value(), 100);
        QCOMPARE(h.find<QLabel>("LRate")->text(), QStringLiteral("0"));
        QCOMPARE(h.find<QLabel>("LRate1")->text(), QStringLiteral("0"));
        QCOMPARE(h.find<QLabel>("LVolume")->text(), QStringLiteral("100"));
        QCOMPARE(h.find<QLabel>("LVolume1")->text(), QStringLiteral("100"));
        QVERIFY(h.find<QAction>("NShowTime1")->isChecked());
        QVERIFY(!h.find<QAction>("NOpenOnStartup")->isChecked());
        QVERIFY(ui::MessageBox::shown().isEmpty());
        QVERIFY(h.capture->openCalls == 1);
        h.stop();

        const auto ini = ReadIni(h.iniPath());
        QCOMPARE(ini.size(), 16);
        QCOMPARE(ini.value("ports"), "1863 1864");
        QCOMPARE(ini.value("speaklinks"), "1");
        QCOMPARE(ini.value("maxspoken"), "300");
        QCOMPARE(ini.value("Engine"), "0");
        QCOMPARE(ini.value("Volume1"), "100");
        QCOMPARE(ini.value("showtime"), "1");
    }

    // What set.ini holds reaches the controls (clamped, past-the-list engines at the first voice) and
    // the voice of the next message, and goes back into the file at the exit.
    void fromFile_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("voices");
        QTest::addColumn<QVariantMap>("shown"); // control: current index, value, text or tick
        QTest::addColumn<QVariantMap>("saved"); // key: value written back
        const QStringList three{"English", "Mandarin", "German"};
        QTest::newRow("rate clamped high, volume low")
            << QByteArray("Rate=25\nVolume=-5\n") << three
            << QVariantMap{{"TRate", 10}, {"LRate", "10"}, {"TVolume", 0}, {"LVolume", "0"}}
            << QVariantMap{{"Rate", "10"}, {"Volume", "0"}};
        QTest::newRow("rate clamped low")
            << QByteArray("Rate=-25\n") << three << QVariantMap{{"TRate", -10}, {"LRate", "-10"}, {"TVolume", 100}}
            << QVariantMap{{"Rate", "-10"}};
        QTest::newRow("volume not a number")
            << QByteArray("Volume=loud\n") << three << QVariantMap{{"TVolume", 100}, {"LVolume", "100"}}
            << QVariantMap{{"Volume", "100"}};
        QTest::newRow("engine hex 0x2") << QByteArray("Engine=0x2\nEngine1=1\n") << three
                                        << QVariantMap{{"CBVoice", 2}, {"CBVoice1", 1}}
                                        << QVariantMap{{"Engine", "2"}, {"Engine1", "1"}};
        QTest::newRow("engine dollar hex")
            << QByteArray("Engine=$2\n") << three << QVariantMap{{"CBVoice", 2}} << QVariantMap{{"Engine", "2"}};
        QTest::newRow("engine past the list")
            << QByteArray("Engine=7\n") << three << QVariantMap{{"CBVoice", 0}} << QVariantMap{{"Engine", "0"}};
        QTest::newRow("engine negative") << QByteArray("Engine=-3\nEngine1=2\n") << three
                                         << QVariantMap{{"CBVoice", 0}, {"CBVoice1", 2}}
                                         << QVariantMap{{"Engine", "0"}};
        QTest::newRow("empty voice name selects the first")
            << QByteArray("Engine=1\nEngine1=2\n") << QStringList{"A", "", "C"}
            << QVariantMap{{"CBVoice", 0}, {"CBVoice1", 2}} << QVariantMap{};
        QTest::newRow("no voice keeps the stored engines")
            << QByteArray("Engine=2\nEngine1=5\n") << QStringList{} << QVariantMap{{"CBVoice", -1}}
            << QVariantMap{{"Engine", "2"}, {"Engine1", "5"}};
        QTest::newRow("flag two written back as one")
            << QByteArray("cbme=2\ncbfriend=0\n") << three << QVariantMap{{"CBMe", true}, {"CBFriend", false}}
            << QVariantMap{{"cbme", "1"}, {"cbfriend", "0"}};
        // The spin box clamps; a negative count is unreadable and gives the default.
        QTest::newRow("no limit") << QByteArray("maxspoken=0\n") << three << QVariantMap{{"SEMaxSpoken", 0}}
                                  << QVariantMap{{"maxspoken", "0"}};
        QTest::newRow("limit hexadecimal") << QByteArray("maxspoken=$20\n") << three << QVariantMap{{"SEMaxSpoken", 32}}
                                           << QVariantMap{{"maxspoken", "32"}};
        QTest::newRow("limit negative") << QByteArray("maxspoken=-1\n") << three << QVariantMap{{"SEMaxSpoken", 300}}
                                        << QVariantMap{{"maxspoken", "300"}};
        QTest::newRow("limit above the box's range")
            << QByteArray("maxspoken=5000000\n") << three << QVariantMap{{"SEMaxSpoken", 100000}}
            << QVariantMap{{"maxspoken", "100000"}};
    }
    void fromFile()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, voices);
        QFETCH(QVariantMap, shown);
        QFETCH(QVariantMap, saved);
        Harness h;
        h.voices = voices;
        WriteIni(h.iniPath(), ini);
        h.start();
        for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
            QObject* control = h.find<QObject>(qPrintable(it.key()));
            QVERIFY2(control, qPrintable(it.key()));
            QVariant value;
            if (auto* box = qobject_cast<QComboBox*>(control))
                value = box->currentIndex();
            else if (auto* label = qobject_cast<QLabel*>(control))
                value = label->text();
            else if (auto* check = qobject_cast<QCheckBox*>(control))
                value = check->isChecked();
            else
                value = control->property("value");
            QCOMPARE(value.toString(), it.value().toString());
        }
        // The profile reaches the voice with each message.
        h.window->SpeakMyMessage("x");
        QCOMPARE(h.speech->speakCalls.last().rate, h.find<QSlider>("TRate")->value());
        QCOMPARE(h.speech->speakCalls.last().volume, h.find<QSlider>("TVolume")->value());
        QCOMPARE(h.speech->speakCalls.last().voiceIndex, h.find<QComboBox>("CBVoice")->currentIndex());
        h.stop();
        const auto written = ReadIni(h.iniPath());
        for (auto it = saved.cbegin(); it != saved.cend(); ++it)
            QCOMPARE(written.value(it.key()), it.value().toString());
    }

    // "服务器端口": read from set.ini, edited on "选项", followed by the capture and the decoding.
    void serverPorts()
    {
        Harness h;
        WriteIni(h.iniPath(), "ports=8080 1863\n");
        h.start();
        auto* ports = h.find<QLineEdit>("EPorts");
        QCOMPARE(ports->text(), QStringLiteral("1863 8080"));
        QCOMPARE(h.capture->ports, (std::vector<std::uint16_t>{1863, 8080}));
        const auto logged = [&] { return Lines(*h.window->log()->document()).size(); };
        h.capture->deliver(Datagram(8080, 50000, WithLength("MSG ann@example.org Ann", "Content-Type: text/plain\r\n\r\nx")));
        QCOMPARE(logged(), 2);

        const auto edit = [&](const QString& text) {
            ports->setText(text);
            emit ports->editingFinished();
        };
        edit(QStringLiteral("1864  1863 1864"));
        QCOMPARE(ports->text(), QStringLiteral("1863 1864"));
        QCOMPARE(h.capture->ports, (std::vector<std::uint16_t>{1863, 1864}));
        h.capture->deliver(Datagram(8080, 50000, WithLength("MSG ann@example.org Ann", "Content-Type: text/plain\r\n\r\ny")));
        QCOMPARE(logged(), 2);
        const int updates = h.capture->endpointUpdates;
        for (const QString& unreadable : {QString(), QStringLiteral("0"), QStringLiteral("1863 70000")}) {
            edit(unreadable);
            QCOMPARE(ports->text(), QStringLiteral("1863 1864"));
        }
        QCOMPARE(h.capture->endpointUpdates, updates);

        // A switchboard handed out reaches the capture, and its chat the log.
        h.capture->deliver(Datagram(1863, 50000, "XFR 8 SB sb.example.net:40123 CKI 3291\r\n"));
        QCOMPARE(h.capture->learned.size(), std::size_t{1});
        QCOMPARE(h.capture->learned[0].port, 40123);
        h.capture->deliver(Datagram(40123, 50001, WithLength("MSG ann@example.org Ann", "Content-Type: text/plain\r\n\r\nz")));
        QCOMPARE(logged(), 4);
        h.stop();
        QCOMPARE(ReadIni(h.iniPath()).value("ports"), "1863 1864");
    }

    void surviveRestart()
    {
        Harness h;
        h.start();
        h.find<QComboBox>("CBVoice")->setCurrentIndex(2);
        h.find<QComboBox>("CBVoice1")->setCurrentIndex(1);
        h.find<QSlider>("TRate")->setValue(-4);
        h.find<QSlider>("TRate1")->setValue(7);
        h.find<QSlider>("TVolume")->setValue(30);
        h.find<QSlider>("TVolume1")->setValue(55);
        h.find<QCheckBox>("CBMe")->setChecked(false);
        h.find<QCheckBox>("CBFriendsex")->setChecked(false);
        h.find<QCheckBox>("CBLinks")->setChecked(false);
        h.find<QSpinBox>("SEMaxSpoken")->setValue(42);
        h.trigger("NShowTime1");
        QVERIFY(!h.find<QAction>("NShowTime1")->isChecked());
        QCOMPARE(h.find<QLabel>("LRate")->text(), QStringLiteral("-4"));
        QCOMPARE(h.find<QLabel>("LVolume1")->text(), QStringLiteral("55"));

        h.start(); // a second window over the same folder
        QCOMPARE(h.find<QComboBox>("CBVoice")->currentIndex(), 2);
        QCOMPARE(h.find<QComboBox>("CBVoice1")->currentIndex(), 1);
        QCOMPARE(h.find<QSlider>("TRate")->value(), -4);
        QCOMPARE(h.find<QSlider>("TRate1")->value(), 7);
        QCOMPARE(h.find<QSlider>("TVolume")->value(), 30);
        QCOMPARE(h.find<QSlider>("TVolume1")->value(), 55);
        QCOMPARE(h.find<QLabel>("LVolume")->text(), QStringLiteral("30"));
        QVERIFY(!h.find<QCheckBox>("CBMe")->isChecked());
        QVERIFY(h.find<QCheckBox>("CBFriend")->isChecked());
        QVERIFY(!h.find<QCheckBox>("CBFriendsex")->isChecked());
        QVERIFY(!h.find<QAction>("NShowTime1")->isChecked());
        QVERIFY(!h.find<QCheckBox>("CBLinks")->isChecked());
        QCOMPARE(h.find<QSpinBox>("SEMaxSpoken")->value(), 42);
        h.stop();
        const auto ini = ReadIni(h.iniPath());
        QCOMPARE(ini.value("cbme"), "0");
        QCOMPARE(ini.value("showtime"), "0");
        QCOMPARE(ini.value("speaklinks"), "0");
        QCOMPARE(ini.value("maxspoken"), "42");
    }

    // The friends' profile on a system voice while its server goes away and comes back: the list
    // shrinks to the built-in voices and grows again, the status bar says so once each way, and
    // the file keeps the choice and its index.
    void systemVoiceComesAndGoes()
    {
        const QStringList builtIn{"English", "Mandarin", "German"};
        const QStringList withServer = builtIn + QStringList{"espeak-ng: English", "rhvoice: Anna"};
        const QStringList keys{"", "", "", "espeak-ng/English", "rhvoice/Anna"};
        Harness h;
        WriteIni(h.iniPath(), "Engine=1\nEngine1=4\nSystemVoice1=rhvoice/Anna\n");
        h.start();
        QCOMPARE(h.speech->wanted, QStringList{"rhvoice/Anna"});
        auto* friends = h.find<QComboBox>("CBVoice1");
        auto* status = h.find<QStatusBar>("StatusBar1");
        QCOMPARE(friends->currentIndex(), 0); // not looked up yet: nothing to tell
        QVERIFY(status->currentMessage().isEmpty());

        h.speech->changeVoices(builtIn, {}); // no server answers
        QCOMPARE(friends->currentIndex(), 0);
        QCOMPARE(status->currentMessage().count("rhvoice/Anna"), 1);
        h.window->SpeakFriendMessage("a");
        QCOMPARE(h.speech->speakCalls.last().voiceIndex, 0);
        h.speech->changeVoices(builtIn, {});
        QCOMPARE(status->currentMessage().count("rhvoice/Anna"), 1); // once

        h.speech->changeVoices(withServer, keys);
        QCOMPARE(friends->count(), 5);
        QCOMPARE(friends->currentIndex(), 4);
        QCOMPARE(h.find<QComboBox>("CBVoice")->currentIndex(), 1);
        QVERIFY(status->currentMessage().contains("已恢复"));
        h.window->SpeakFriendMessage("b");
        QCOMPARE(h.speech->speakCalls.last().voiceIndex, 4);

        h.speech->changeVoices(builtIn, {}); // gone again mid-chat
        QCOMPARE(status->currentMessage().count("rhvoice/Anna"), 3);
        QCOMPARE(status->currentMessage().count("没有运行"), 2);
        h.window->SpeakFriendMessage("c");
        QCOMPARE(h.speech->speakCalls.last().voiceIndex, 0);
        h.stop();
        auto ini = ReadIni(h.iniPath());
        QCOMPARE(ini.value("Engine1"), "4");
        QCOMPARE(ini.value("SystemVoice1"), "rhvoice/Anna");
        QVERIFY(!ini.contains("SystemVoice"));

        // Next run with the server, but without that module: the status bar tells it apart. The user
        // picks the other system voice, then a built-in one for their own messages.
        h.start();
        h.speech->changeVoices(withServer.mid(0, 4), keys.mid(0, 4));
        QVERIFY(h.find<QStatusBar>("StatusBar1")->currentMessage().contains("没有这个语音"));
        h.speech->changeVoices(withServer, keys);
        friends = h.find<QComboBox>("CBVoice1");
        friends->setCurrentIndex(3);
        h.find<QComboBox>("CBVoice")->setCurrentIndex(2);
        h.stop();
        ini = ReadIni(h.iniPath());
        QCOMPARE(ini.value("Engine1"), "3");
        QCOMPARE(ini.value("SystemVoice1"), "espeak-ng/English");
        QCOMPARE(ini.value("Engine"), "2");
        QVERIFY(!ini.contains("SystemVoice"));
    }

    void defaultButtons_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("button");
        QTest::newRow("own") << ""
                             << "BtnDefault1";
        QTest::newRow("friend") << "1"
                                << "BtnDefault2";
    }
    void defaultButtons()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, button);
        Harness h;
        h.start();
        auto* voice = h.window->findChild<QComboBox*>("CBVoice" + suffix);
        auto* rate = h.window->findChild<QSlider*>("TRate" + suffix);
        auto* volume = h.window->findChild<QSlider*>("TVolume" + suffix);
        voice->setCurrentIndex(2);
        rate->setValue(5);
        volume->setValue(20);
        // The other side is left alone.
        auto* otherRate = h.window->findChild<QSlider*>(suffix.isEmpty() ? "TRate1" : "TRate");
        otherRate->setValue(3);
        h.window->findChild<QPushButton*>(button)->click();
        QCOMPARE(rate->value(), 0);
        QCOMPARE(volume->value(), 100);
        QCOMPARE(voice->currentIndex(), 2);
        QCOMPARE(otherRate->value(), 3);
        QCOMPARE(h.window->findChild<QLabel*>("LRate" + suffix)->text(), QStringLiteral("0"));
        QCOMPARE(h.window->findChild<QLabel*>("LVolume" + suffix)->text(), QStringLiteral("100"));
    }

    void settingsFolderError()
    {
        // The configuration "folder" is a file: the settings folder cannot be created.
        QTemporaryDir dir;
        const QString blocker = dir.path() + "/config";
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Harness h(true, blocker);
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h.start();
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        const ui::ShownBox box = ui::MessageBox::shown().first();
        QCOMPARE(box.caption, QStringLiteral("Quorvel"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY(box.text.endsWith('.'));
        // Set-up stopped there: lists empty, controls at their initial values, window on screen.
        QCOMPARE(h.find<QComboBox>("CBVoice")->count(), 0);
        QCOMPARE(h.find<QLabel>("LVolume")->text(), QStringLiteral("0"));
        QVERIFY(h.window->isVisible());
        QVERIFY(!h.window->isMinimized());
        QVERIFY(h.capture->isCapturing());

        // At exit the save fails the same way: one more box and the capture is not closed.
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h.window->FormDestroy();
        QCOMPARE(ui::MessageBox::shown().size(), 2);
        QCOMPARE(h.capture->closeCalls, 0);
    }

    void hostLookupErrorEndsSetUp()
    {
        Harness h;
        h.throwHostLookup = true;
        h.captureFailures = {"pcap_activate failed with error 1"};
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h.start();
        // First the plain box of the failed step, then the error that ended the set-up.
        QCOMPARE(ui::MessageBox::shown().size(), 2);
        QCOMPARE(ui::MessageBox::shown()[0].text, QStringLiteral("pcap_activate failed with error 1"));
        QCOMPARE(ui::MessageBox::shown()[0].icon, QMessageBox::NoIcon);
        QCOMPARE(ui::MessageBox::shown()[1].icon, QMessageBox::Critical);
        QVERIFY(ui::MessageBox::shown()[1].text.startsWith("Socket Error # 11001"));
        QVERIFY(h.window->isVisible());
        QCOMPARE(h.find<QComboBox>("CBVoice")->count(), 0);
    }

    void runAtStartup()
    {
        Harness h;
        h.start();
        const QString entry = h.home + "/autostart/quorvel.desktop";
        auto* main = h.find<QAction>("NOpenOnStartup");
        auto* tray = h.find<QAction>("NOpenOnStartup2");
        main->trigger();
        QVERIFY(main->isChecked());
        QVERIFY(tray->isChecked());
        QCOMPARE(QDir(h.home + "/autostart").entryList(QDir::Files), QStringList{"quorvel.desktop"});
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        file.close();
        // The four fields: target with its arguments, working directory, description.
        QVERIFY(lines.contains("Exec=\"/opt/quorvel/bin/quorvel\" -s"));
        QVERIFY(lines.contains("Path=/opt/quorvel/bin/"));
        QVERIFY(lines.contains("Comment=Quorvel"));
        QVERIFY(lines.contains("Type=Application"));

        h.start(); // the entry's presence is the state
        QVERIFY(h.find<QAction>("NOpenOnStartup")->isChecked());
        QVERIFY(h.find<QAction>("NOpenOnStartup2")->isChecked());
        h.find<QAction>("NOpenOnStartup2")->trigger();
        QVERIFY(!h.find<QAction>("NOpenOnStartup")->isChecked());
        QVERIFY(!QFile::exists(entry));
    }

    void runAtStartupWriteError()
    {
        Harness h;
        h.start();
        // A directory where the entry belongs: writing fails, the marks stay set.
        QVERIFY(QDir().mkpath(h.home + "/autostart/quorvel.desktop/x"));
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h.trigger("NOpenOnStartup");
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        QCOMPARE(ui::MessageBox::shown()[0].icon, QMessageBox::Critical);
        QVERIFY(h.find<QAction>("NOpenOnStartup")->isChecked());
        QVERIFY(h.find<QAction>("NOpenOnStartup2")->isChecked());
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
