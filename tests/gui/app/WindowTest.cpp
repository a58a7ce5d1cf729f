// Hide-to-tray, the ways back, the tray menu and its tabs, leaving, help and links; with and
// without a notification area.

#include "Support.h"

#include "ui/AppInfo.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/Tray.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>

using namespace quorvel;
using namespace quorvel::testing;

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

// When the log's view was last drawn, and how often.
class PaintWatch : public QObject {
public:
    QElapsedTimer clock;
    int paints = 0;
    qint64 lastPaint = -1;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            lastPaint = clock.elapsed();
        }
        return false;
    }
};

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ui::MessageBox::clearShown(); }

    void startsHiddenWithBalloon()
    {
        Harness h(true);
        h.start();
        QVERIFY(!h.window->isVisible());
        QCOMPARE(h.window->tray()->balloons().size(), 1);
        const ui::Balloon b = h.window->tray()->balloons()[0];
        QCOMPARE(b.title, QStringLiteral("Quorvel(使用帮助):"));
        QCOMPARE(b.milliseconds, 3000);
        QCOMPARE(b.text.split('\n'), QStringList({"请打开并登陆MSN(Windows Live Messenger)软件,",
                                                  "发送文字消息给MSN上的好友并进行文字聊天,",
                                                  "即可立即听到发送和接收的消息被软件朗读出来!"}));
    }

    void doubleClickRightAfterStartComesUpMinimised()
    {
        Harness h(true);
        h.start();
        h.window->TrayIcon1DblClick();
        QVERIFY(h.window->isVisible());
        QVERIFY(h.window->isMinimized());
    }

    void trayItemsShowTabs_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("tab");
        QTest::newRow("Open1") << "Open1" << 0;
        QTest::newRow("NItemOption") << "NItemOption" << 1;
    }
    void trayItemsShowTabs()
    {
        QFETCH(QString, item);
        QFETCH(int, tab);
        Harness h(true);
        h.start();
        auto* pages = h.find<QTabWidget>("PageControl1");
        pages->setCurrentIndex(1 - tab);
        h.window->findChild<QAction*>(item)->trigger();
        QVERIFY(h.window->isVisible());
        QVERIFY(!h.window->isMinimized());
        QCOMPARE(pages->currentIndex(), tab);
        // Again while visible: only the tab changes.
        pages->setCurrentIndex(1 - tab);
        h.window->findChild<QAction*>(item)->trigger();
        QVERIFY(h.window->isVisible());
        QCOMPARE(pages->currentIndex(), tab);
    }

    // Closing and minimising both hide into the tray with a balloon; capture goes on meanwhile.
    void hidesIntoTray_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("close") << true;
        QTest::newRow("minimise") << false;
    }
    void hidesIntoTray()
    {
        QFETCH(bool, close);
        Harness h(true);
        h.start();
        QSignalSpy ends(h.window.get(), &app::TFmain::terminateRequested);
        h.trigger("Open1");
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        const int before = int(h.window->tray()->balloons().size());
        if (close)
            QVERIFY(!h.window->close());
        else
            h.window->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!h.window->isVisible());
        QCOMPARE(ends.size(), 0);
        QCOMPARE(h.window->tray()->balloons().size(), before + 1);
        const ui::Balloon b = h.window->tray()->balloons().last();
        QCOMPARE(b.title, QStringLiteral("Quorvel"));
        QCOMPARE(b.text, QStringLiteral("程序已最小化, 双击即可恢复."));
        QCOMPARE(b.milliseconds, 500);
        h.capture->deliver(FriendMsg("Ann", "still here"));
        QVERIFY(h.window->log()->toPlainText().contains("still here"));
        // Back in the normal state.
        h.window->TrayIcon1DblClick();
        QVERIFY(h.window->isVisible());
        QVERIFY(!h.window->isMinimized());
    }

    void exitItemsEndOnce_data()
    {
        QTest::addColumn<QString>("item");
        QTest::newRow("Nexit") << "Nexit";
        QTest::newRow("Exit1") << "Exit1";
    }
    void exitItemsEndOnce()
    {
        QFETCH(QString, item);
        Harness h(true);
        h.start();
        QSignalSpy ends(h.window.get(), &app::TFmain::terminateRequested);
        bool savedBeforeClose = false;
        int closes = 0;
        h.capture->onClose = [&] {
            savedBeforeClose = QFile::exists(h.iniPath());
            ++closes;
        };
        h.window->findChild<QAction*>(item)->trigger();
        QCOMPARE(ends.size(), 1);
        h.trigger("Open1");
        QVERIFY(h.window->close()); // leaving: the window no longer refuses
        // The shut-down runs once, however often it is asked for.
        h.window->FormDestroy();
        h.window->FormDestroy();
        h.stop();
        QVERIFY(savedBeforeClose);
        QCOMPARE(closes, 1);
    }

    void withoutTrayTheWindowStays()
    {
        Harness h(false);
        h.start();
        QVERIFY(h.window->isVisible());
        QVERIFY(!h.window->isMinimized());
        QCOMPARE(h.window->tray()->balloons().size(), 1); // the start balloon, in the status bar
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        // Minimising is an ordinary minimise: the window stays on the taskbar.
        h.window->setWindowState(Qt::WindowMinimized);
        QTest::qWait(50);
        QVERIFY(h.window->isVisible());
        QVERIFY(h.window->isMinimized());
        // Closing ends the program like "退出".
        h.window->showNormal();
        QSignalSpy ends(h.window.get(), &app::TFmain::terminateRequested);
        h.window->close();
        QCOMPARE(ends.size(), 1);
        QCOMPARE(h.window->tray()->balloons().size(), 1);
    }

    // Without a notification area a balloon's lines take the status bar's place one by one, each
    // for the balloon's time, and then the fixed text is back; with one, the status bar keeps it.
    void balloonInStatusBarWithoutTray_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("no tray") << false;
        QTest::newRow("tray") << true;
    }
    void balloonInStatusBarWithoutTray()
    {
        QFETCH(bool, tray);
        Harness h(tray);
        h.start();
        auto* bar = h.find<QStatusBar>("StatusBar1");
        auto* fixed = h.find<QLabel>("StatusPanel1");
        const QString firstLine = QStringLiteral("请打开并登陆MSN(Windows Live Messenger)软件,");
        QCOMPARE(bar->currentMessage(), tray ? QString() : firstLine);
        if (tray)
            return;
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QVERIFY(!fixed->isVisible());

        QElapsedTimer clock;
        clock.start();
        h.window->tray()->showBalloon(QStringLiteral("t"), QStringLiteral("one\r\ntwo"), 300);
        QCOMPARE(bar->currentMessage(), QStringLiteral("one"));
        QTRY_COMPARE(bar->currentMessage(), QStringLiteral("two"));
        QVERIFY2(clock.elapsed() >= 250, "the first line went early");
        QTRY_COMPARE(bar->currentMessage(), QString());
        QVERIFY(clock.elapsed() >= 550);
        QVERIFY(fixed->isVisible());
        QCOMPARE(fixed->text(), QStringLiteral("  Quorvel：朗读MSN上接收和发送的消息内容。"));
    }

    void trayActivation()
    {
        Harness h(true);
        h.start();
        auto* menu = h.find<QMenu>("PopupMenu1");
        QSystemTrayIcon* icon = h.window->tray()->icon();
        // A double click (whose first click also arrives as a click) shows the window, no menu.
        emit icon->activated(QSystemTrayIcon::Trigger);
        emit icon->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(h.window->isVisible());
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(!menu->isVisible());
        // A single click opens the menu once the double-click time is over.
        emit icon->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }

    void helpBox()
    {
        Harness h(true);
        h.start();
        h.trigger("Help1");
        QCOMPARE(ui::MessageBox::shown().size(), 1);
        const ui::ShownBox box = ui::MessageBox::shown()[0];
        QCOMPARE(box.caption, QStringLiteral("帮助"));
        QVERIFY(!box.modal);
        const QStringList lines = box.text.split('\n');
        QCOMPARE(lines.size(), 17);
        QCOMPARE(lines[0], QStringLiteral("如何使用本软件?"));
        QCOMPARE(lines[2], QStringLiteral("1. 打开并登陆MSN. "));
        QCOMPARE(lines[4], QStringLiteral("2. 开始与MSN上的好友进行文字聊天. "));
        QCOMPARE(lines[8], QString(46, '-'));
        QCOMPARE(lines[16], QStringLiteral("3.点击和取消 新消息 复选框即可实现静音."));
        for (int empty : {1, 3, 5, 7, 9, 11, 13, 15})
            QVERIFY(lines[empty].isEmpty());
        // The box is open and the main window still takes input.
        QMessageBox* open = nullptr;
        for (QMessageBox* b : h.window->findChildren<QMessageBox*>())
            if (b->isVisible())
                open = b;
        QVERIFY(open);
        QCOMPARE(open->text(), box.text);
        QVERIFY(!QApplication::activeModalWidget());
        h.capture->deliver(FriendMsg("Ann", "while help is open"));
        QVERIFY(h.window->log()->toPlainText().contains("while help is open"));
        open->close();
    }

    void aboutBox()
    {
        Harness h(true);
        h.start();
        h.trigger("About1");
        const ui::ShownBox box = ui::MessageBox::shown().value(0);
        QCOMPARE(box.caption, QStringLiteral("关于"));
        QVERIFY(!box.modal);
        const QStringList lines = box.text.split('\n');
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], QStringLiteral("Quorvel"));
        QCOMPARE(lines[1], QString(37, '-'));
        QCOMPARE(lines[2], ui::Maker::ownershipLine());
        QVERIFY(lines[3].isEmpty());
        QCOMPARE(lines[4], ui::Maker::email());
        QCOMPARE(lines[6], ui::Maker::homepage().toString());
        QCOMPARE(lines[7], QString(37, '-'));
    }

    void burstOfLinesIsDrawnTogetherAndToTheEnd()
    {
        ui::LogView log;
        log.resize(300, 200);
        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        PaintWatch watch;
        log.viewport()->installEventFilter(&watch);
        // The view learns of new lines when the edit closes, and lays out its last screenful then.
        QSignalSpy edits(&log, &QPlainTextEdit::blockCountChanged);
        watch.clock.start();
        for (int i = 0; i < 300; ++i) { // about a line a millisecond
            log.AddLogLine(QStringLiteral("line %1").arg(i), Qt::black, true);
            QTest::qWait(1);
        }
        const qint64 lastLine = watch.clock.elapsed();
        QVERIFY2(watch.paints <= lastLine / 40 + 2,
                 qPrintable(QStringLiteral("%1 paints in %2 ms").arg(watch.paints).arg(lastLine)));
        QVERIFY2(edits.count() <= lastLine / 40 + 2,
                 qPrintable(QStringLiteral("%1 edits closed in %2 ms").arg(edits.count()).arg(lastLine)));
        // The view is drawn again after the burst, scrolled to its last line.
        QTRY_VERIFY(watch.lastPaint >= lastLine);
        QVERIFY(log.viewport()->updatesEnabled() && log.verticalScrollBar()->updatesEnabled());
        QCOMPARE(log.verticalScrollBar()->value(), log.verticalScrollBar()->maximum());
    }

    void hiddenLogShowsItsEnd_data()
    {
        QTest::addColumn<bool>("resizedWhileHidden");
        QTest::newRow("lines while hidden") << false;
        QTest::newRow("resized while hidden") << true;
    }

    // Lines that come while the window is in the tray are not laid out, and showing it shows the last one.
    void hiddenLogShowsItsEnd()
    {
        QFETCH(bool, resizedWhileHidden);
        ui::LogView log;
        log.resize(300, 200);
        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        log.AddLogLine(QStringLiteral("before"), Qt::black, true);
        log.hide();
        for (int i = 0; i < 3000; ++i)
            log.AddLogLine(QStringLiteral("hidden line %1 ").arg(i).repeated(i % 7 + 1), Qt::blue, true, i % 2);
        if (resizedWhileHidden)
            log.resize(200, 300);
        QCoreApplication::processEvents(); // the turn's lines are one edit, closed as the event loop turns
        QTextDocument* doc = log.document();
        QCOMPARE(doc->blockCount(), 1 + 1500);
        QCOMPARE(doc->findBlockByNumber(750).layout()->lineCount(), 0);

        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        QScrollBar* bar = log.verticalScrollBar();
        QTRY_COMPARE(bar->value(), bar->maximum());
        const QTextBlock last = doc->lastBlock();
        QVERIFY(last.layout()->lineCount() > 1); // the header and the text, wrapped
        const QRect first = log.cursorRect(QTextCursor(last));
        QTextCursor end(last);
        end.movePosition(QTextCursor::EndOfBlock);
        QVERIFY2(log.viewport()->rect().contains(first) && log.viewport()->rect().contains(log.cursorRect(end)),
                 qPrintable(QStringLiteral("last paragraph from y %1 to %2").arg(first.top()).arg(log.cursorRect(end).bottom())));
    }

    // Rich text pasted into the log keeps what its files keep; the rest of the markup becomes text.
    void pastedRichTextKeepsItsFormats()
    {
        ui::LogView log;
        log.AddLogLine(QStringLiteral("Ann 说 :"), Qt::darkGreen, false);
        auto* mime = new QMimeData;
        mime->setHtml(QStringLiteral("<p><span style='color:#ff0000'>red</span> <b>bold</b></p>"
                                     "<table><tr><td>cell</td></tr></table><img src='x.png'>"));
        mime->setText(QStringLiteral("red bold cell"));
        QGuiApplication::clipboard()->setMimeData(mime);
        log.paste();
        QCOMPARE(log.toPlainText(), QStringLiteral("Ann 说 :red bold\ncell\n"));
        const QTextBlock first = log.document()->firstBlock();
        QList<std::pair<QString, QTextCharFormat>> runs;
        for (auto it = first.begin(); !it.atEnd(); ++it)
            runs.append({it.fragment().text(), it.fragment().charFormat()});
        QCOMPARE(runs.size(), 4);
        QCOMPARE(runs[1].first, QStringLiteral("red"));
        QCOMPARE(runs[1].second.foreground().color(), QColor(255, 0, 0));
        QCOMPARE(runs[3].first, QStringLiteral("bold"));
        QVERIFY(runs[3].second.fontWeight() >= QFont::Bold);
    }

    void links()
    {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("https", &recorder, "open");
        QDesktopServices::setUrlHandler("mailto", &recorder, "open");
        Harness h(true);
        h.start();
        h.trigger("VisitHomepage1");
        h.trigger("Email1");
        h.find<QPushButton>("BDownload")->click();
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("mailto");
        QCOMPARE(recorder.urls.size(), 3);
        QCOMPARE(recorder.urls[0], ui::Maker::homepage());
        QCOMPARE(recorder.urls[1], QUrl("mailto:" + ui::Maker::email()));
        QCOMPARE(recorder.urls[2], ui::Maker::enginesPage());
        for (const QUrl& url : recorder.urls)
            QVERIFY2(url.host().isEmpty() || url.host().endsWith("example.org"), qPrintable(url.toString()));
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
