// Opening, saving and clearing the log through the menu: saved as the name's extension says, opened
// as the file's content says; big and broken files behind the progress dialog.

#include "Support.h"

#include "ui/FileDialog.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/logfile/LogFiles.h"

#include <QFile>
#include <QFileDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTimer>

using namespace quorvel;
using namespace quorvel::testing;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class LogFilesTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        ui::MessageBox::clearShown();
        h = std::make_unique<Harness>();
        h->start();
        h->find<QAction>("NShowTime1")->trigger(); // steady header text
        h->capture->deliver(FriendMsg("Ann", "Hello"));
    }
    void cleanup() { h.reset(); }

    void saveByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("written"); // the file that appears
        QTest::addColumn<bool>("plain");
        QTest::newRow(".txt") << "log.txt"
                              << "log.txt" << true;
        QTest::newRow(".TXT") << "LOG.TXT"
                              << "LOG.TXT" << true;
        QTest::newRow(".log") << "chat.log"
                              << "chat.log" << true;
        QTest::newRow(".rtf") << "chat.rtf"
                              << "chat.rtf" << false;
        QTest::newRow(".RTF") << "chat.RTF"
                              << "chat.RTF" << false;
        QTest::newRow("no extension gets .rtf") << "chat"
                                                << "chat.rtf" << false;
    }
    void saveByExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, written);
        QFETCH(bool, plain);
        const QString dir = h->dir.path();
        ui::FileDialog::setNextFileName(dir + "/" + name);
        h->trigger("NSaveMessage");
        const QByteArray content = ReadAll(dir + "/" + written);
        QVERIFY(!content.isEmpty());
        QCOMPARE(content.startsWith("{\\rtf"), !plain);
        // The header and the text it stands over are one paragraph in the view, two in the file.
        if (plain)
            QCOMPARE(content, QByteArray("Ann 说 :\r\nHello"));
        else
            QVERIFY2(content.contains(" :\\par\n"), content.constData());

        // Reopen: the text comes back either way; colours survive rich text.
        h->capture->deliver(FriendMsg("Ann", "added later"));
        ui::FileDialog::setNextFileName(dir + "/" + written);
        h->trigger("NOpenMessage");
        QCOMPARE(h->window->log()->toPlainText(), QStringLiteral("Ann 说 :\nHello"));
        QCOMPARE(h->window->log()->document()->begin().begin().fragment().charFormat().foreground().color(),
                 plain ? QColor(0, 0, 0) : QColor(0, 128, 0));
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

    // After a save as text an RTF file still opens formatted, and text still as text.
    void openByContentAfterTxtSave_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // empty: the log saved as RTF under that name
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QColor>("color"); // of the first character
        QTest::newRow("own RTF") << "keep.rtf" << QByteArray() << "Ann 说 :\nHello" << QColor(0, 128, 0);
        QTest::newRow("RTF after a BOM and blank lines, named .txt")
            << "other.txt"
            << QByteArray(
                   "\xEF\xBB\xBF\r\n \r\n{\\rtf1{\\colortbl;\\red0\\green0\\blue255;}\\cf1 \\u-31523?\\u-32142?}")
            << "蓝色" << QColor(0, 0, 255);
        QTest::newRow("text that is no RTF, named .rtf")
            << "notes.rtf" << QByteArray("笔记 {\\rtf1 x}\r\nline") << "笔记 {\\rtf1 x}\nline" << QColor(0, 0, 0);
    }
    void openByContentAfterTxtSave()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QFETCH(QColor, color);
        const QString file = h->dir.path() + "/" + name;
        if (bytes.isEmpty()) {
            ui::FileDialog::setNextFileName(file);
            h->trigger("NSaveMessage");
        } else {
            QVERIFY(WriteAll(file, bytes));
        }
        ui::FileDialog::setNextFileName(h->dir.path() + "/switch.txt");
        h->trigger("NSaveMessage");
        QVERIFY(ReadAll(h->dir.path() + "/switch.txt").startsWith("Ann"));
        h->capture->deliver(FriendMsg("Bob", "replaced"));
        ui::FileDialog::setNextFileName(file);
        h->trigger("NOpenMessage");
        QCOMPARE(h->window->log()->toPlainText(), shown);
        QCOMPARE(h->window->log()->document()->begin().begin().fragment().charFormat().foreground().color(), color);
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

    void cancelledDialogsChangeNothing()
    {
        ui::FileDialog::setNextFileName(QString());
        h->trigger("NOpenMessage");
        QCOMPARE(h->window->log()->toPlainText(), QStringLiteral("Ann 说 :\nHello"));
        ui::FileDialog::setNextFileName(QString());
        h->trigger("NSaveMessage");
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

    void openMissingFile()
    {
        ui::FileDialog::setNextFileName(h->dir.path() + "/missing.rtf");
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h->trigger("NOpenMessage");
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        QCOMPARE(ui::MessageBox::shown()[0].icon, QMessageBox::Critical);
        QVERIFY(ui::MessageBox::shown()[0].text.startsWith("Cannot open file"));
        QVERIFY(h->window->log()->document()->isEmpty()); // cleared before the read
    }

    void saveIntoMissingFolder()
    {
        ui::FileDialog::setNextFileName(h->dir.path() + "/no/such/dir/x.txt");
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h->trigger("NSaveMessage");
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        QVERIFY(ui::MessageBox::shown()[0].text.startsWith("Cannot create file"));
        QCOMPARE(h->window->log()->toPlainText(), QStringLiteral("Ann 说 :\nHello"));
    }

    void clearAsks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("No") << int(QMessageBox::No) << false;
        QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
    }
    void clearAsks()
    {
        QFETCH(int, answer);
        QFETCH(bool, cleared);
        ui::MessageBox::setNextAnswer(QMessageBox::StandardButton(answer));
        h->trigger("NClearMessage");
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        const ui::ShownBox box = ui::MessageBox::shown()[0];
        QCOMPARE(box.text, QStringLiteral("您确定要清空当前消息内容列表吗？"));
        QCOMPARE(box.caption, QStringLiteral("确认"));
        QCOMPARE(box.icon, QMessageBox::Question);
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(h->window->log()->document()->isEmpty(), cleared);
        QVERIFY(!h->find<QAction>("NShowTime1")->isChecked());
        // An empty log saves too.
        const QString txt = h->dir.path() + "/after.txt";
        ui::FileDialog::setNextFileName(txt);
        h->trigger("NSaveMessage");
        QVERIFY(QFile::exists(txt));
        QCOMPARE(ReadAll(txt).isEmpty(), cleared);
    }

    void realSaveDialog()
    {
        // The dialog itself: a typed name without extension gets ".rtf", nothing is asked.
        const QString target = h->dir.path() + "/typed";
        QFile::remove(target + ".rtf");
        QTimer::singleShot(0, this, [&] {
            auto* dialog = h->find<QFileDialog>("SaveDialog1");
            QTRY_VERIFY(dialog->isVisible());
            QVERIFY(dialog->selectedFiles().value(0).isEmpty() || QFileInfo(dialog->selectedFiles().value(0)).isDir());
            dialog->selectFile(target);
            static_cast<QDialog*>(dialog)->accept();
        });
        h->trigger("NSaveMessage");
        QVERIFY(QFile::exists(target + ".rtf"));
    }

    // Files above the immediate size: read off the window's thread behind a progress dialog; a
    // line that arrives meanwhile follows the loaded content.
    void bigFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("box"); // the error shown, empty for none
        QTest::addColumn<QString>("shown");

        logfile::RichText log;
        QString shown;
        for (int i = 0; i < 40000; ++i) {
            const QString body = QStringLiteral("第%1条消息 😀").arg(i);
            log.runs.push_back({"Ann 说 :\n", logfile::Color{0, 128, 0}});
            log.runs.push_back({body.toStdString() + "\n", logfile::Color{}});
            shown += QStringLiteral("Ann 说 :\n") + body + QLatin1Char('\n');
        }
        log.runs.back().text.pop_back();
        shown.chop(1);
        const std::string rtf = logfile::WriteRtf(log);
        QTest::newRow("log as RTF") << QByteArray::fromStdString(rtf) << QString() << shown;
        QTest::newRow("log as text") << QByteArray::fromStdString(logfile::EncodePlainText(log.plainText()))
                                     << QString() << shown;
        // One endless line comes in lines of 4096 characters.
        const QByteArray filler(2 << 20, 'a');
        const QString line = QString(4096, QLatin1Char('a'));
        QTest::newRow("huge RTF group") << "{\\rtf1{\\b " + filler + "}}" << QString()
                                        << QStringList(512, line).join(QLatin1Char('\n'));

        QByteArray noise(8 << 20, '\0');
        QRandomGenerator generator(7);
        generator.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QTest::newRow("random bytes") << noise << QStringLiteral("Failed to Load Stream.") << QString();
        QTest::newRow("JPEG-like") << QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11) + noise
                                   << QStringLiteral("Failed to Load Stream.") << QString();
    }
    void bigFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, box);
        QFETCH(QString, shown);
        const QString path = h->dir.path() + "/big";
        QVERIFY(WriteAll(path, bytes));
        ui::FileDialog::setNextFileName(path);
        ui::MessageBox::setNextAnswer(QMessageBox::Ok);
        h->trigger("NOpenMessage");
        auto* progress = h->find<QProgressDialog>("LogProgress");
        QVERIFY(progress && progress->isVisible());
        h->capture->deliver(FriendMsg("Bob", "meanwhile"));
        QTRY_VERIFY_WITH_TIMEOUT(!h->find<QProgressDialog>("LogProgress"), 60000);

        const QString meanwhile = QStringLiteral("Bob 说 :\nmeanwhile");
        QCOMPARE(h->window->log()->toPlainText(), shown.isEmpty() ? meanwhile : shown + QLatin1Char('\n') + meanwhile);
        QCOMPARE(ui::MessageBox::shown().size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QCOMPARE(ui::MessageBox::shown()[0].text, box);
    }

    void cancelledBigFileKeepsTheLog()
    {
        const QString path = h->dir.path() + "/big.txt";
        QVERIFY(WriteAll(path, QByteArray(16 << 20, 'x')));
        ui::FileDialog::setNextFileName(path);
        h->trigger("NOpenMessage");
        h->capture->deliver(FriendMsg("Bob", "meanwhile"));
        auto* progress = h->find<QProgressDialog>("LogProgress");
        QVERIFY(progress);
        auto* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        cancel->click();
        QVERIFY(!h->find<QProgressDialog>("LogProgress") || !h->find<QProgressDialog>("LogProgress")->isVisible());
        const QString kept = QStringLiteral("Ann 说 :\nHello\nBob 说 :\nmeanwhile");
        QCOMPARE(h->window->log()->toPlainText(), kept);
        // The reading thread's late result changes nothing.
        QTest::qWait(1000);
        QCOMPARE(h->window->log()->toPlainText(), kept);
        QVERIFY(ui::MessageBox::shown().isEmpty());
    }

private:
    std::unique_ptr<Harness> h;
};

QTEST_MAIN(LogFilesTest)
#include "LogFilesTest.moc"
