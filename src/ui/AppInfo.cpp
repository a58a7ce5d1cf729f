#include "ui/AppInfo.h"

#include "ui/texts/AppTexts.h"

#include <string_view>

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

namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString ApplicationTitle()
{
    return FromUtf8(texts::ApplicationTitle);
}

QString Maker::ownershipLine()
{
    return FromUtf8(texts::Maker::ownershipLine);
}

QString Maker::email()
{
    return FromUtf8(texts::Maker::email);
}

QUrl Maker::homepage()
{
    return QUrl(FromUtf8(texts::Maker::homepage));
}

QUrl Maker::enginesPage()
{
    return QUrl(FromUtf8(texts::Maker::enginesPage));
}

QUrl Maker::mailto()
{
    return QUrl(FromUtf8(texts::Maker::mailto()));
}

QString HelpText()
{
    return FromUtf8(texts::HelpText());
}

QString AboutText()
{
    return FromUtf8(texts::AboutText());
}

QString StartBalloonTitle()
{
    return FromUtf8(texts::StartBalloonTitle);
}

QString StartBalloonText()
{
    return FromUtf8(texts::StartBalloonText());
}

QString HiddenBalloonText()
{
    return FromUtf8(texts::HiddenBalloonText);
}

} // namespace quorvel::ui
