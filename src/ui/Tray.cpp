#include "ui/Tray.h"

#include "ui/AppInfo.h"

#include <QMenu>

namespace quorvel::ui {

Tray::Tray(bool available, const QIcon& icon, QMenu* menu, QObject* parent)
    : QObject(parent), m_available(available), m_icon(new QSystemTrayIcon(icon, this))
{
    m_icon->setObjectName(QStringLiteral("TrayIcon1"));
    m_icon->setToolTip(ApplicationTitle());
    m_icon->setContextMenu(menu);
}

void Tray::setVisible(bool visible)
{
    if (m_available)
        m_icon->setVisible(visible);
}

void Tray::showBalloon(const QString& title, const QString& text, int milliseconds)
{
    if (m_available && m_icon->isVisible())
        m_icon->showMessage(title, text, QSystemTrayIcon::Information, milliseconds);
    m_balloons.append({title, text, milliseconds});
    emit balloonShown(title, text, milliseconds);
}

} // namespace quorvel::ui
