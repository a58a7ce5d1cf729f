// The widgets, menus and dialogs of the main window, with their names and captions.

#include "app/TFmain.h"

#include "app/ContactsPage.h"
#include "ui/AppInfo.h"
#include "ui/FileDialog.h"
#include "ui/LogView.h"
#include "ui/Tray.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quorvel::app {

namespace {

constexpr int ClientWidth = 308;
constexpr int ClientHeight = 535;
constexpr int StatusBarHeight = 19;

QFont WindowFont()
{
    QFont font = QFontDatabase::hasFamily(QStringLiteral("Tahoma"))
                     ? QFont(QStringLiteral("Tahoma"))
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    return font;
}

QAction* AddAction(QMenu* menu, const char* name, const QString& caption, bool checkable = false)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(checkable);
    return action;
}

QLabel* Hint(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

void TFmain::buildWindow()
{
    setObjectName(QStringLiteral("TFmain"));
    setWindowTitle(ui::ApplicationTitle());
    setWindowIcon(ui::ApplicationIcon());
    // Title, system menu and close box only: the window neither minimises nor maximises itself.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(WindowFont());

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setFixedSize(ClientWidth, ClientHeight - StatusBarHeight);

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* logLayout = new QHBoxLayout(TabSheet1);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->setSpacing(0);
    auto* panel = new QFrame(TabSheet1);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedWidth(1);
    logLayout->addWidget(panel);
    RichEdit1 = new ui::LogView(TabSheet1);
    logLayout->addWidget(RichEdit1);
    PageControl1->addTab(TabSheet1, QStringLiteral("消息"));

    TabSheet2 = buildOptionsPage();
    PageControl1->addTab(TabSheet2, QStringLiteral("选项"));
    TabSheet3 = new ContactsPage;
    PageControl1->addTab(TabSheet3, QStringLiteral("联系人"));
    PageControl1->setCurrentWidget(TabSheet1);
    setCentralWidget(PageControl1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(StatusBarHeight);
    auto* statusText = new QLabel(QStringLiteral("  Quorvel：朗读MSN上接收和发送的消息内容。"), StatusBar1);
    statusText->setObjectName(QStringLiteral("StatusPanel1"));
    StatusBar1->addWidget(statusText, 1);
    setStatusBar(StatusBar1);

    buildMenus();
    buildDialogs();

    const int menuHeight = menuBar()->isNativeMenuBar() ? 0 : menuBar()->sizeHint().height();
    setFixedSize(ClientWidth, ClientHeight + menuHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

QWidget* TFmain::buildOptionsPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet2"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);

    auto* reading = new QGroupBox(QStringLiteral("朗读设置"), page);
    reading->setObjectName(QStringLiteral("GroupBox1"));
    auto* readingLayout = new QGridLayout(reading);
    readingLayout->setVerticalSpacing(2);
    auto box = [reading](const char* name, const QString& caption) {
        auto* check = new QCheckBox(caption, reading);
        check->setObjectName(QString::fromLatin1(name));
        check->setChecked(true);
        return check;
    };
    CBMe = box("CBMe", QStringLiteral("朗读自己的消息"));
    CBmyname = box("CBmyname", QStringLiteral("朗读自己的昵称"));
    CBmyex = box("CBmyex", QStringLiteral("朗读自己的表情"));
    CBFriend = box("CBFriend", QStringLiteral("朗读好友的消息"));
    CBFriendsname = box("CBFriendsname", QStringLiteral("朗读好友的昵称"));
    CBFriendsex = box("CBFriendsex", QStringLiteral("朗读好友的表情"));
    readingLayout->addWidget(CBMe, 0, 0);
    readingLayout->addWidget(CBmyname, 1, 0);
    readingLayout->addWidget(CBmyex, 2, 0);
    readingLayout->addWidget(CBFriend, 0, 1);
    readingLayout->addWidget(CBFriendsname, 1, 1);
    readingLayout->addWidget(CBFriendsex, 2, 1);
    CBLinks = box("CBLinks", QStringLiteral("把链接读作“链接”和网站名"));
    CBLinks->setAccessibleName(CBLinks->text());
    readingLayout->addWidget(CBLinks, 3, 0, 1, 2);
    auto* maxLabel = new QLabel(QStringLiteral("朗读字数上限(0为不限):"), reading);
    maxLabel->setObjectName(QStringLiteral("LMaxSpoken"));
    SEMaxSpoken = new QSpinBox(reading);
    SEMaxSpoken->setObjectName(QStringLiteral("SEMaxSpoken"));
    SEMaxSpoken->setRange(0, 100000);
    SEMaxSpoken->setValue(300);
    SEMaxSpoken->setSpecialValueText(QStringLiteral("不限"));
    SEMaxSpoken->setAccessibleName(QStringLiteral("朗读字数上限"));
    maxLabel->setBuddy(SEMaxSpoken);
    readingLayout->addWidget(maxLabel, 4, 0);
    readingLayout->addWidget(SEMaxSpoken, 4, 1);
    auto* portsLabel = new QLabel(QStringLiteral("服务器端口:"), reading);
    portsLabel->setObjectName(QStringLiteral("LPorts"));
    EPorts = new QLineEdit(QStringLiteral("1863 1864"), reading);
    EPorts->setObjectName(QStringLiteral("EPorts"));
    EPorts->setAccessibleName(QStringLiteral("服务器端口"));
    EPorts->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9 ]*")), EPorts));
    portsLabel->setBuddy(EPorts);
    readingLayout->addWidget(portsLabel, 5, 0);
    readingLayout->addWidget(EPorts, 5, 1);
    layout->addWidget(reading);

    auto* own = buildEngineGroup(QStringLiteral("我的引擎设置"), CBVoice, TRate, LRate, TVolume, LVolume, BtnDefault1,
                                 QStringLiteral("BtnDefault1"));
    own->setObjectName(QStringLiteral("GroupBox2"));
    layout->addWidget(own);
    auto* friends = buildEngineGroup(QStringLiteral("好友的引擎设置"), CBVoice1, TRate1, LRate1, TVolume1, LVolume1,
                                     BtnDefault2, QStringLiteral("BtnDefault2"));
    friends->setObjectName(QStringLiteral("GroupBox3"));
    layout->addWidget(friends);
    CBVoice1->setObjectName(QStringLiteral("CBVoice1"));
    TRate1->setObjectName(QStringLiteral("TRate1"));
    LRate1->setObjectName(QStringLiteral("LRate1"));
    TVolume1->setObjectName(QStringLiteral("TVolume1"));
    LVolume1->setObjectName(QStringLiteral("LVolume1"));

    auto* hintAbove = Hint(QStringLiteral("如果想让软件有更丰富的中英文发音，请下载语音引擎。"), page);
    hintAbove->setObjectName(QStringLiteral("Label7"));
    layout->addWidget(hintAbove);
    BDownload = new QPushButton(QStringLiteral("开始下载语音引擎"), page);
    BDownload->setObjectName(QStringLiteral("BDownload"));
    layout->addWidget(BDownload, 0, Qt::AlignHCenter);
    auto* hintBelow = Hint(QStringLiteral("下载安装完毕引擎后，重新启动软件即可在此设置引擎。"), page);
    hintBelow->setObjectName(QStringLiteral("Label8"));
    layout->addWidget(hintBelow);
    layout->addStretch(1);
    return page;
}

QWidget* TFmain::buildEngineGroup(const QString& title, QComboBox*& voice, QSlider*& rate, QLabel*& rateLabel,
                                  QSlider*& volume, QLabel*& volumeLabel, QPushButton*& defaults,
                                  const QString& defaultsName)
{
    auto* group = new QGroupBox(title);
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(2);

    grid->addWidget(new QLabel(QStringLiteral("引擎:"), group), 0, 0);
    voice = new QComboBox(group);
    voice->setObjectName(QStringLiteral("CBVoice"));
    // A plain drop-down: typed text could name no voice at all.
    voice->setEditable(false);
    voice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    voice->setMinimumContentsLength(10);
    grid->addWidget(voice, 0, 1, 1, 3);

    auto slider = [group](const char* name, int minimum, int maximum) {
        auto* s = new QSlider(Qt::Horizontal, group);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(minimum, maximum);
        s->setPageStep(minimum < 0 ? 1 : 10);
        return s;
    };
    auto value = [group](const char* name) {
        auto* label = new QLabel(QStringLiteral("0"), group);
        label->setObjectName(QString::fromLatin1(name));
        label->setMinimumWidth(22);
        return label;
    };
    grid->addWidget(new QLabel(QStringLiteral("语速:"), group), 1, 0);
    rate = slider("TRate", -10, 10);
    rate->setValue(0);
    grid->addWidget(rate, 1, 1);
    rateLabel = value("LRate");
    grid->addWidget(rateLabel, 1, 2);

    grid->addWidget(new QLabel(QStringLiteral("音量:"), group), 2, 0);
    volume = slider("TVolume", 0, 100);
    volume->setValue(0);
    grid->addWidget(volume, 2, 1);
    volumeLabel = value("LVolume");
    grid->addWidget(volumeLabel, 2, 2);

    defaults = new QPushButton(QStringLiteral("默认"), group);
    defaults->setObjectName(defaultsName);
    defaults->setFixedWidth(44);
    grid->addWidget(defaults, 1, 3, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
    return group;
}

void TFmain::buildMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    NMain = menuBar()->addMenu(QStringLiteral("主菜单"));
    NMain->setObjectName(QStringLiteral("NMain"));
    NMain->menuAction()->setObjectName(QStringLiteral("NMainAction"));
    NOpenMessage = AddAction(NMain, "NOpenMessage", QStringLiteral("打开消息"));
    NClearMessage = AddAction(NMain, "NClearMessage", QStringLiteral("清空消息"));
    NSaveMessage = AddAction(NMain, "NSaveMessage", QStringLiteral("保存消息"));
    ExportMessageToWav1 = AddAction(NMain, "ExportMessageToWav1", QStringLiteral("消息导出为WAV"));
    NMain->addSeparator();
    NShowTime1 = AddAction(NMain, "NShowTime1", QStringLiteral("显示时间"), true);
    NShowTime1->setChecked(true);
    NMain->addSeparator();
    NOpenOnStartup = AddAction(NMain, "NOpenOnStartup", QStringLiteral("启动时运行"), true);
    NMain->addSeparator();
    Nexit = AddAction(NMain, "Nexit", QStringLiteral("退出"));

    NHlelp = menuBar()->addMenu(QStringLiteral("帮助"));
    NHlelp->setObjectName(QStringLiteral("NHlelp"));
    NHlelp->menuAction()->setObjectName(QStringLiteral("NHlelpAction"));
    Help1 = AddAction(NHlelp, "Help1", QStringLiteral("帮助"));
    NHlelp->addSeparator();
    VisitHomepage1 = AddAction(NHlelp, "VisitHomepage1", QStringLiteral("网站"));
    Email1 = AddAction(NHlelp, "Email1", QStringLiteral("邮箱"));
    NHlelp->addSeparator();
    About1 = AddAction(NHlelp, "About1", QStringLiteral("关于"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Open1 = AddAction(PopupMenu1, "Open1", QStringLiteral("查看消息"));
    NItemOption = AddAction(PopupMenu1, "NItemOption", QStringLiteral("选项设置"));
    PopupMenu1->addSeparator();
    StopSpeak1 = AddAction(PopupMenu1, "StopSpeak1", QStringLiteral("停止朗读"));
    NOpenOnStartup2 = AddAction(PopupMenu1, "NOpenOnStartup2", QStringLiteral("开机时运行"), true);
    PopupMenu1->addSeparator();
    Exit1 = AddAction(PopupMenu1, "Exit1", QStringLiteral("退出"));

    m_tray = new ui::Tray(m_platform.trayAvailable, ui::ApplicationIcon(), PopupMenu1, this);
    m_tray->setObjectName(QStringLiteral("Tray"));
}

void TFmain::buildDialogs()
{
    auto dialog = [this](const char* name, QFileDialog::AcceptMode mode, const QStringList& filters,
                         const QString& suffix) {
        return std::make_unique<ui::LazyFileDialog>(this, [=](QFileDialog& d) {
            d.setObjectName(QString::fromLatin1(name));
            d.setAcceptMode(mode);
            d.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
            d.setNameFilters(filters);
            d.selectNameFilter(filters.first());
            d.setDefaultSuffix(suffix);
            d.setOption(QFileDialog::DontConfirmOverwrite, true);
        });
    };
    OpenDialog1 = dialog("OpenDialog1", QFileDialog::AcceptOpen,
                         {QStringLiteral("rtf,文本文件(*.rtf *.txt)"), QStringLiteral("rtf文件(*.rtf)"),
                          QStringLiteral("文本文件(*.txt)"), QStringLiteral("所有文件(*)")},
                         QString());
    SaveDialog1 =
        dialog("SaveDialog1", QFileDialog::AcceptSave,
               {QStringLiteral("rtf文件(*.rtf)"), QStringLiteral("文本文件(*.txt)"), QStringLiteral("所有文件(*)")},
               QStringLiteral("rtf"));
    SaveDialogWav = dialog("SaveDialogWav", QFileDialog::AcceptSave,
                           {QStringLiteral("wav文件(*.wav)"), QStringLiteral("所有文件(*)")}, QStringLiteral("wav"));
}

} // namespace quorvel::app
