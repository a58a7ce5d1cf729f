// The window as the user first sees it: names, captions, sizes, flags, menus, dialogs, defaults.

#include "Support.h"

#include "ui/FileDialog.h"
#include "ui/LogView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>

using namespace quorvel;
using namespace quorvel::testing;

class LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        h = std::make_unique<Harness>();
        h->start();
    }
    void cleanup() { h.reset(); }

    void windowFrame()
    {
        app::TFmain& w = *h->window;
        QCOMPARE(w.objectName(), QStringLiteral("TFmain"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Quorvel"));
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!w.windowIcon().isNull());

        // Below the menu bar: 308 x 535, tabs 308 x 516, status bar 19.
        const int menu = w.menuBar()->sizeHint().height();
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QCOMPARE(w.maximumSize(), QSize(308, 535 + menu));
        auto* pages = h->find<QTabWidget>("PageControl1");
        QVERIFY(pages);
        QCOMPARE(pages->size(), QSize(308, 516));
        auto* status = h->find<QStatusBar>("StatusBar1");
        QVERIFY(status);
        QCOMPARE(status->height(), 19);
        auto* panel = h->find<QLabel>("StatusPanel1");
        QVERIFY(panel);
        QCOMPARE(panel->text(), QStringLiteral("  Quorvel：朗读MSN上接收和发送的消息内容。"));
    }

    void tabs()
    {
        auto* pages = h->find<QTabWidget>("PageControl1");
        QVERIFY(pages);
        QCOMPARE(pages->count(), 3);
        QCOMPARE(pages->tabText(0), QStringLiteral("消息"));
        QCOMPARE(pages->tabText(1), QStringLiteral("选项"));
        QCOMPARE(pages->tabText(2), QStringLiteral("联系人"));
        QCOMPARE(pages->widget(0)->objectName(), QStringLiteral("TabSheet1"));
        QCOMPARE(pages->widget(1)->objectName(), QStringLiteral("TabSheet2"));
        QCOMPARE(pages->widget(2)->objectName(), QStringLiteral("TabSheet3"));
        QCOMPARE(pages->currentIndex(), 0);

        auto* log = h->find<ui::LogView>("RichEdit1");
        QVERIFY(log);
        QVERIFY(log->toPlainText().isEmpty());
        QVERIFY(!log->isReadOnly());
        QCOMPARE(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        auto* strip = h->find<QWidget>("Panel1");
        QVERIFY(strip);
        QCOMPARE(strip->width(), 1);
    }

    void options_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("CBMe") << "CBMe"
                              << "朗读自己的消息";
        QTest::newRow("CBmyname") << "CBmyname"
                                  << "朗读自己的昵称";
        QTest::newRow("CBmyex") << "CBmyex"
                                << "朗读自己的表情";
        QTest::newRow("CBFriend") << "CBFriend"
                                  << "朗读好友的消息";
        QTest::newRow("CBFriendsname") << "CBFriendsname"
                                       << "朗读好友的昵称";
        QTest::newRow("CBFriendsex") << "CBFriendsex"
                                     << "朗读好友的表情";
    }
    void options()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        auto* box = h->window->findChild<QCheckBox*>(name);
        QVERIFY(box);
        QCOMPARE(box->text(), caption);
        QVERIFY(box->isChecked());
        auto* group = qobject_cast<QGroupBox*>(box->parentWidget());
        QVERIFY(group);
        QCOMPARE(group->title(), QStringLiteral("朗读设置"));
    }

    void optionColumns()
    {
        // Own boxes on the left, friends' on the right, top to bottom in table order.
        const auto x = [this](const char* n) { return h->find<QCheckBox>(n)->geometry(); };
        h->window->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
        h->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h->window.get()));
        QVERIFY(x("CBMe").left() < x("CBFriend").left());
        QCOMPARE(x("CBMe").left(), x("CBmyex").left());
        QVERIFY(x("CBMe").top() < x("CBmyname").top());
        QVERIFY(x("CBmyname").top() < x("CBmyex").top());
        QCOMPARE(x("CBMe").top(), x("CBFriend").top());
    }

    // The two reading options: in the group, named for screen readers, on the Tab chain, and the
    // page still fits the fixed window down to its last hint.
    void readingOptions()
    {
        auto* pages = h->find<QTabWidget>("PageControl1");
        pages->setCurrentIndex(1);
        h->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h->window.get()));
        auto* page = h->window->findChild<QWidget*>("TabSheet2");
        QStringList chain;
        for (QWidget* w = h->find<QCheckBox>("CBMe"); w && chain.size() < 40; w = w->nextInFocusChain())
            if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus))
                chain << w->objectName();
        for (const char* name : {"CBLinks", "SEMaxSpoken"}) {
            auto* w = h->find<QWidget>(name);
            QVERIFY(w);
            QCOMPARE(qobject_cast<QGroupBox*>(w->parentWidget())->title(), QStringLiteral("朗读设置"));
            QVERIFY(!w->accessibleName().isEmpty());
            QVERIFY2(chain.contains(QString::fromLatin1(name)), qPrintable(chain.join(' ')));
        }
        QVERIFY(chain.indexOf("CBLinks") < chain.indexOf("SEMaxSpoken"));
        QVERIFY(chain.indexOf("SEMaxSpoken") < chain.indexOf("CBVoice"));
        auto* last = page->findChild<QLabel*>("Label8");
        QVERIFY(last->geometry().bottom() < page->height());
        QVERIFY(h->find<QLabel>("LMaxSpoken")->buddy() == h->find<QWidget>("SEMaxSpoken"));
    }

    void engineGroups_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("button");
        QTest::newRow("own") << "我的引擎设置"
                             << ""
                             << "BtnDefault1";
        QTest::newRow("friend") << "好友的引擎设置"
                                << "1"
                                << "BtnDefault2";
    }
    void engineGroups()
    {
        QFETCH(QString, title);
        QFETCH(QString, suffix);
        QFETCH(QString, button);
        auto* voice = h->window->findChild<QComboBox*>("CBVoice" + suffix);
        auto* rate = h->window->findChild<QSlider*>("TRate" + suffix);
        auto* volume = h->window->findChild<QSlider*>("TVolume" + suffix);
        auto* rateLabel = h->window->findChild<QLabel*>("LRate" + suffix);
        auto* volumeLabel = h->window->findChild<QLabel*>("LVolume" + suffix);
        auto* defaults = h->window->findChild<QPushButton*>(button);
        QVERIFY(voice && rate && volume && rateLabel && volumeLabel && defaults);
        auto* group = qobject_cast<QGroupBox*>(voice->parentWidget());
        QVERIFY(group);
        QCOMPARE(group->title(), title);
        QCOMPARE(rate->parentWidget(), group);
        QCOMPARE(defaults->parentWidget(), group);
        QVERIFY(!voice->isEditable());
        QCOMPARE(rate->minimum(), -10);
        QCOMPARE(rate->maximum(), 10);
        QCOMPARE(volume->minimum(), 0);
        QCOMPARE(volume->maximum(), 100);
        QCOMPARE(defaults->text(), QStringLiteral("默认"));
        QStringList captions;
        for (QLabel* label : group->findChildren<QLabel*>())
            captions << label->text();
        QVERIFY(captions.contains(QStringLiteral("引擎:")));
        QVERIFY(captions.contains(QStringLiteral("语速:")));
        QVERIFY(captions.contains(QStringLiteral("音量:")));
    }

    void downloadHints()
    {
        auto* button = h->find<QPushButton>("BDownload");
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("开始下载语音引擎"));
        QStringList texts;
        for (QLabel* label : h->window->findChild<QWidget*>("TabSheet2")->findChildren<QLabel*>())
            texts << label->text();
        QVERIFY(texts.contains(QStringLiteral("如果想让软件有更丰富的中英文发音，请下载语音引擎。")));
        QVERIFY(texts.contains(QStringLiteral("下载安装完毕引擎后，重新启动软件即可在此设置引擎。")));
    }

    void menus_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("items"); // name=caption, "-" for a separator, "*" marks a check item
        QTest::newRow("NMain") << "NMain"
                               << "主菜单"
                               << QStringList{"NOpenMessage=打开消息",
                                              "NClearMessage=清空消息",
                                              "NSaveMessage=保存消息",
                                              "ExportMessageToWav1=消息导出为WAV",
                                              "-",
                                              "*NShowTime1=显示时间",
                                              "-",
                                              "*NOpenOnStartup=启动时运行",
                                              "-",
                                              "Nexit=退出"};
        QTest::newRow("NHlelp") << "NHlelp"
                                << "帮助" << QStringList{"Help1=帮助",  "-", "VisitHomepage1=网站",
                                                         "Email1=邮箱", "-", "About1=关于"};
        QTest::newRow("PopupMenu1") << "PopupMenu1"
                                    << "" << QStringList{"Open1=查看消息",      "NItemOption=选项设置",        "-",
                                                         "StopSpeak1=停止朗读", "*NOpenOnStartup2=开机时运行", "-",
                                                         "Exit1=退出"};
    }
    void menus()
    {
        QFETCH(QString, menu);
        QFETCH(QString, title);
        QFETCH(QStringList, items);
        auto* m = h->window->findChild<QMenu*>(menu);
        QVERIFY(m);
        QCOMPARE(m->title(), title);
        QStringList actual;
        for (QAction* a : m->actions()) {
            if (a->isSeparator()) {
                actual << "-";
                continue;
            }
            actual << QString(a->isCheckable() ? "*" : "") + a->objectName() + "=" + a->text();
        }
        QCOMPARE(actual, items);
    }

    void menuBarOrder()
    {
        const QList<QAction*> top = h->window->menuBar()->actions();
        QCOMPARE(top.size(), 2);
        QCOMPARE(top[0]->menu()->objectName(), QStringLiteral("NMain"));
        QCOMPARE(top[1]->menu()->objectName(), QStringLiteral("NHlelp"));
        QCOMPARE(h->window->menuBar()->objectName(), QStringLiteral("MainMenu1"));
        // No accelerator letters anywhere.
        for (QMenu* m : h->window->findChildren<QMenu*>())
            for (QAction* a : m->actions())
                QVERIFY2(!a->text().contains('&'), qPrintable(a->text()));
    }

    // Each dialog is made when its command first needs it, then kept.
    void dialogs_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QStringList>("filters");
        QTest::newRow("OpenDialog1") << "OpenDialog1"
                                     << "NOpenMessage" << int(QFileDialog::AcceptOpen) << ""
                                     << QStringList{"rtf,文本文件(*.rtf *.txt)", "rtf文件(*.rtf)", "文本文件(*.txt)",
                                                    "所有文件(*)"};
        QTest::newRow("SaveDialog1") << "SaveDialog1"
                                     << "NSaveMessage" << int(QFileDialog::AcceptSave) << "rtf"
                                     << QStringList{"rtf文件(*.rtf)", "文本文件(*.txt)", "所有文件(*)"};
        QTest::newRow("SaveDialogWav") << "SaveDialogWav"
                                       << "ExportMessageToWav1" << int(QFileDialog::AcceptSave) << "wav"
                                       << QStringList{"wav文件(*.wav)", "所有文件(*)"};
    }
    void dialogs()
    {
        QFETCH(QString, name);
        QFETCH(QString, command);
        QFETCH(int, mode);
        QFETCH(QString, suffix);
        QFETCH(QStringList, filters);
        QVERIFY(!h->window->findChild<QFileDialog*>(name));
        h->capture->deliver(FriendMsg("Ann", "Hello")); // something to export
        for (int i = 0; i < 2; ++i) {
            ui::FileDialog::setNextFileName(QString()); // cancelled
            h->trigger(qPrintable(command));
        }
        QCOMPARE(h->window->findChildren<QFileDialog*>(name).size(), 1);
        auto* d = h->window->findChild<QFileDialog*>(name);
        QCOMPARE(int(d->acceptMode()), mode);
        QCOMPARE(d->defaultSuffix(), suffix);
        QCOMPARE(d->nameFilters(), filters);
        QCOMPARE(d->selectedNameFilter(), filters.first());
        QVERIFY(d->testOption(QFileDialog::DontConfirmOverwrite));
    }

    void trayIcon()
    {
        auto* icon = h->window->findChild<QSystemTrayIcon*>("TrayIcon1");
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QStringLiteral("Quorvel"));
        QCOMPARE(icon->contextMenu(), h->window->findChild<QMenu*>("PopupMenu1"));
        QVERIFY(!icon->icon().isNull());
    }

    void everyNamedWidget_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* n :
             {"PageControl1", "TabSheet1",   "TabSheet2",   "RichEdit1",     "Panel1",      "StatusBar1", "CBMe",
              "CBmyname",     "CBmyex",      "CBFriend",    "CBFriendsname", "CBFriendsex", "CBVoice",    "CBVoice1",
              "TRate",        "TRate1",      "TVolume",     "TVolume1",      "LRate",       "LRate1",     "LVolume",
              "LVolume1",     "BtnDefault1", "BtnDefault2", "BDownload",     "MainMenu1",   "NMain",      "NHlelp",
              "PopupMenu1",   "CBLinks",     "SEMaxSpoken"})
            QTest::newRow(n) << QString::fromLatin1(n);
    }
    void everyNamedWidget()
    {
        QFETCH(QString, name);
        QCOMPARE(h->window->findChildren<QWidget*>(name).size(), 1);
    }

private:
    std::unique_ptr<Harness> h;
};

QTEST_MAIN(LayoutTest)
#include "LayoutTest.moc"
