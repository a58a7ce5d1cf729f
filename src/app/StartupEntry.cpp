#include "app/StartupEntry.h"

#include "app/Platform.h"
#include "ui/MessageBox.h"
#include "ui/autostart/DesktopEntry.h"
#include "ui/autostart/StartupFields.h"

#include <QAction>

#include <exception>
#include <filesystem>

namespace quorvel::app {

namespace {

autostart::Autostart Entry(const QString& configHome, const QString& baseName, const QString& executablePath)
{
    const autostart::StartupEntryFields fields = autostart::StartupEntryFor(executablePath.toStdString());
    return autostart::Autostart(std::filesystem::path(configHome.toStdString()) / "autostart", baseName.toStdString(),
                                fields.target, fields.description);
}

} // namespace

StartupEntry::StartupEntry(QWidget* window, const Platform& platform, QAction* mainItem, QAction* trayItem,
                           QObject* parent)
    : QObject(parent), m_window(window), m_configHome(platform.configHome), m_baseName(platform.baseName),
      m_executablePath(platform.executablePath), m_mainItem(mainItem), m_trayItem(trayItem)
{
    setObjectName(QStringLiteral("StartupEntry"));
    connect(m_mainItem, &QAction::triggered, this, &StartupEntry::NOpenOnStartupClick);
    connect(m_trayItem, &QAction::triggered, this, &StartupEntry::NOpenOnStartup2Click);
}

void StartupEntry::readState()
{
    const bool enabled = Entry(m_configHome, m_baseName, m_executablePath).isEnabled();
    m_mainItem->setChecked(enabled);
    m_trayItem->setChecked(enabled);
}

void StartupEntry::setRunAtStartup(bool on)
{
    m_mainItem->setChecked(on);
    m_trayItem->setChecked(on);
    try {
        const autostart::Autostart entry = Entry(m_configHome, m_baseName, m_executablePath);
        if (on)
            entry.enable();
        else
            entry.disable();
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(m_window, QString::fromUtf8(error.what()));
    }
}

void StartupEntry::NOpenOnStartupClick()
{
    setRunAtStartup(m_mainItem->isChecked());
}

void StartupEntry::NOpenOnStartup2Click()
{
    setRunAtStartup(m_trayItem->isChecked());
}

} // namespace quorvel::app
