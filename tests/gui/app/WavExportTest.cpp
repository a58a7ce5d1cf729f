// The WAV export flow against the fake speech: what is recorded, the progress dialog, cancelling,
// errors, and chat going on meanwhile.

#include "Support.h"

#include "ui/FileDialog.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>

using namespace quorvel;
using namespace quorvel::testing;

class WavExportTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        ui::MessageBox::clearShown();
        h = std::make_unique<Harness>();
        h->start();
        h->trigger("Open1");
        h->find<QAction>("NShowTime1")->trigger();
    }
    void cleanup() { h.reset(); }

    QProgressDialog* progress() const { return h->window->findChild<QProgressDialog*>("WavProgress"); }

    void blankLog()
    {
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h->trigger("ExportMessageToWav1");
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        QCOMPARE(ui::MessageBox::shown()[0].text, QStringLiteral("Now cannot export to wav,message is blank!"));
        QVERIFY(h->speech->exportCalls.isEmpty());
    }

    void wholeLogWithProgress()
    {
        h->capture->deliver(FriendMsg("Ann", "Hello"));
        const QString path = h->dir.path() + "/out";
        ui::FileDialog::setNextFileName(path);
        h->find<QComboBox>("CBVoice")->setCurrentIndex(1);
        h->find<QSlider>("TRate")->setValue(8); // not part of the recording
        h->trigger("ExportMessageToWav1");
        QCOMPARE(h->speech->exportCalls.size(), 1);
        const ExportCall call = h->speech->exportCalls[0];
        QCOMPARE(call.text, QStringLiteral("Ann 说 :\nHello"));
        QCOMPARE(call.voiceIndex, 1);
        QCOMPARE(call.path, path + ".wav");

        QProgressDialog* dialog = progress();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->isModal() || dialog->windowModality() != Qt::NonModal);
        h->speech->progress(40);
        QCOMPARE(dialog->value(), 40);

        // Chat goes on while the file is rendered; the friend's voice speaks.
        h->capture->deliver(FriendMsg("Ann", "during export"));
        QVERIFY(h->window->log()->toPlainText().endsWith("during export"));
        QCOMPARE(h->speech->speakCalls.size(), 2);

        h->speech->finish(true);
        QTRY_VERIFY(!progress());
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

    void selectionOnly()
    {
        h->capture->deliver(FriendMsg("Ann", "first"));
        h->capture->deliver(FriendMsg("Ann", "second"));
        QTextCursor cursor = h->window->log()->document()->find("second");
        QVERIFY(!cursor.isNull());
        h->window->log()->setTextCursor(cursor);
        ui::FileDialog::setNextFileName(h->dir.path() + "/sel.wav");
        h->trigger("ExportMessageToWav1");
        QCOMPARE(h->speech->exportCalls.value(0).text, QStringLiteral("second"));
        QCOMPARE(h->speech->exportCalls.value(0).path, h->dir.path() + "/sel.wav");
        h->speech->finish(true);
    }

    void cancel()
    {
        h->capture->deliver(FriendMsg("Ann", "Hello"));
        ui::FileDialog::setNextFileName(h->dir.path() + "/c.wav");
        h->trigger("ExportMessageToWav1");
        QProgressDialog* dialog = progress();
        QVERIFY(dialog);
        auto* button = dialog->findChild<QPushButton*>();
        QVERIFY(button);
        button->click();
        QCOMPARE(h->speech->cancelCalls, 1);
        QTRY_VERIFY(!progress());
        QVERIFY(ui::MessageBox::shown().isEmpty()); // a cancel is no error
    }

    void failureShowsError()
    {
        h->capture->deliver(FriendMsg("Ann", "Hello"));
        ui::FileDialog::setNextFileName(h->dir.path() + "/f.wav");
        h->trigger("ExportMessageToWav1");
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h->speech->finish(false, "Cannot create file");
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        QCOMPARE(ui::MessageBox::shown()[0].text, QStringLiteral("Cannot create file."));
        QCOMPARE(ui::MessageBox::shown()[0].icon, QMessageBox::Critical);
        QTRY_VERIFY(!progress());
    }

    void silentStops_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("noVoice");
        QTest::addColumn<bool>("refused");
        QTest::newRow("dialog cancelled") << "" << false << false;
        QTest::newRow("no voice selected") << "x.wav" << true << false;
        QTest::newRow("speech refuses") << "x.wav" << false << true;
    }
    void silentStops()
    {
        QFETCH(QString, name);
        QFETCH(bool, noVoice);
        QFETCH(bool, refused);
        h->capture->deliver(FriendMsg("Ann", "Hello"));
        if (noVoice)
            h->find<QComboBox>("CBVoice")->setCurrentIndex(-1);
        h->speech->exportStarts = !refused;
        ui::FileDialog::setNextFileName(name.isEmpty() ? QString() : h->dir.path() + "/" + name);
        h->trigger("ExportMessageToWav1");
        QCOMPARE(h->speech->exportCalls.size(), refused ? 1 : 0);
        QVERIFY(!progress());
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

private:
    std::unique_ptr<Harness> h;
};

QTEST_MAIN(WavExportTest)
#include "WavExportTest.moc"
