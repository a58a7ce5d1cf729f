#pragma once
// "Run at logon" in the main menu and the tray menu: both items show whether the autostart entry
// exists, and ticking either writes or removes it.

#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace quorvel::app {

struct Platform;

class StartupEntry : public QObject {
    Q_OBJECT
public:
    StartupEntry(QWidget* window, const Platform& platform, QAction* mainItem, QAction* trayItem, QObject* parent);

    // Marks both items after the entry's presence; throws when the folder cannot be read.
    void readState();

public slots:
    void NOpenOnStartupClick();
    void NOpenOnStartup2Click();

private:
    void setRunAtStartup(bool on);

    QWidget* m_window;
    QString m_configHome;
    QString m_baseName;
    QString m_executablePath;
    QAction* m_mainItem;
    QAction* m_trayItem;
};

} // namespace quorvel::app
