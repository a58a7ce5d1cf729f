#include "ui/AppInfo.h"

#include <QStringList>

// The icon lives in a static library, whose resource initialiser the linker would drop.
static void InitQuorvelResources()
{
    Q_INIT_RESOURCE(quorvel);
}

namespace quorvel::ui {

QIcon ApplicationIcon()
{
    static const bool once = (InitQuorvelResources(), true);
    (void)once;
    return QIcon(QStringLiteral(":/icons/quorvel.svg"));
}

QString ApplicationTitle()
{
    return QStringLiteral("Quorvel");
}

QString Maker::ownershipLine()
{
    return QStringLiteral("Copyright (C) 2026 The Quorvel developers");
}

QString Maker::email()
{
    return QStringLiteral("quorvel@example.org");
}

QUrl Maker::homepage()
{
    return QUrl(QStringLiteral("https://quorvel.example.org/"));
}

QUrl Maker::enginesPage()
{
    return QUrl(QStringLiteral("https://quorvel.example.org/voices/"));
}

QUrl Maker::mailto()
{
    return QUrl(QStringLiteral("mailto:") + email());
}

QString HelpText()
{
    const QStringList lines{
        QStringLiteral("如何使用本软件?"),
        QString(),
        QStringLiteral("1. 打开并登陆MSN. "),
        QString(),
        QStringLiteral("2. 开始与MSN上的好友进行文字聊天. "),
        QString(),
        QStringLiteral("3. 即可立即听到发送了接收到的语音消息."),
        QString(),
        QString(46, QLatin1Char('-')),
        QString(),
        QStringLiteral("如何在朗读时使MSN静音?"),
        QString(),
        QStringLiteral("1.点击MSN主菜单,"),
        QString(),
        QStringLiteral("2.点击 工具-选项-通知和声音,"),
        QString(),
        QStringLiteral("3.点击和取消 新消息 复选框即可实现静音."),
    };
    return lines.join(QLatin1Char('\n'));
}

QString AboutText()
{
    const QString rule(37, QLatin1Char('-'));
    const QStringList lines{
        ApplicationTitle(), rule,      Maker::ownershipLine(),       QString(),
        Maker::email(),     QString(), Maker::homepage().toString(), rule,
    };
    return lines.join(QLatin1Char('\n'));
}

QString StartBalloonTitle()
{
    return QStringLiteral("Quorvel(使用帮助):");
}

QString StartBalloonText()
{
    const QStringList lines{
        QStringLiteral("请打开并登陆MSN(Windows Live Messenger)软件,"),
        QStringLiteral("发送文字消息给MSN上的好友并进行文字聊天,"),
        QStringLiteral("即可立即听到发送和接收的消息被软件朗读出来!"),
    };
    return lines.join(QLatin1Char('\n'));
}

QString HiddenBalloonText()
{
    return QStringLiteral("程序已最小化, 双击即可恢复.");
}

} // namespace quorvel::ui
