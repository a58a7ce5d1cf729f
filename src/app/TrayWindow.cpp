#include "app/TrayWindow.h"

#include "ui/AppInfo.h"
#include "ui/Tray.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

namespace quorvel::app {

TrayWindow::TrayWindow(const TrayWindowParts& parts, QObject* parent)
    : QObject(parent), m_parts(parts), m_singleClick(new QTimer(this)), m_statusLine(new QTimer(this))
{
    setObjectName(QStringLiteral("TrayWindow"));
    connect(m_parts.showLog, &QAction::triggered, this, &TrayWindow::Open1Click);
    connect(m_parts.showOptions, &QAction::triggered, this, &TrayWindow::NItemOptionClick);
    // X11 reports the first click of a double click as a click too; wait out the double-click
    // time so that a double click does not also open the menu.
    m_singleClick->setSingleShot(true);
    m_singleClick->setInterval(QApplication::doubleClickInterval());
    connect(m_singleClick, &QTimer::timeout, this, &TrayWindow::TrayIcon1Click);
    connect(m_parts.tray->icon(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            m_singleClick->start();
        } else if (reason == QSystemTrayIcon::DoubleClick) {
            m_singleClick->stop();
            TrayIcon1DblClick();
        }
        // Context: the icon opens the tray menu itself.
    });
    m_statusLine->setSingleShot(true);
    connect(m_statusLine, &QTimer::timeout, this, &TrayWindow::nextStatusLine);
    if (!trayAvailable() && m_parts.statusBar)
        connect(m_parts.tray, &ui::Tray::balloonShown, this,
                [this](const QString&, const QString& text, int milliseconds) {
                    showBalloonInStatusBar(text, milliseconds);
                });
}

bool TrayWindow::trayAvailable() const
{
    return m_parts.tray->available();
}

void TrayWindow::startInTray()
{
    m_rememberedState = Qt::WindowMinimized;
    m_parts.tray->showBalloon(ui::StartBalloonTitle(), ui::StartBalloonText(), 3000);
}

void TrayWindow::startVisible()
{
    m_rememberedState = Qt::WindowNoState;
    m_parts.window->show();
}

void TrayWindow::startWithoutTray()
{
    startVisible();
    m_parts.tray->showBalloon(ui::StartBalloonTitle(), ui::StartBalloonText(), 3000);
}

void TrayWindow::showBalloonInStatusBar(const QString& text, int milliseconds)
{
    // The bar holds one line: each line of the balloon gets the balloon's whole time, then the
    // fixed text comes back.
    m_statusLines.clear();
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            m_statusLines.append(line.trimmed());
    m_statusLineMs = milliseconds;
    nextStatusLine();
}

void TrayWindow::nextStatusLine()
{
    if (m_statusLines.isEmpty()) {
        m_parts.statusBar->clearMessage();
        return;
    }
    m_parts.statusBar->showMessage(m_statusLines.takeFirst());
    m_statusLine->start(m_statusLineMs);
}

void TrayWindow::hideToTray()
{
    m_parts.tray->showBalloon(ui::ApplicationTitle(), ui::HiddenBalloonText(), 500);
    m_parts.window->hide();
}

void TrayWindow::windowStateChanged()
{
    QMainWindow* window = m_parts.window;
    if (m_showingRemembered)
        return;
    if (window->isMinimized() && trayAvailable() && window->isVisible()) {
        // Minimising goes to the tray; the remembered state stays as it was.
        QTimer::singleShot(0, this, [this, window] {
            hideToTray();
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        });
        return;
    }
    if (window->isVisible())
        m_rememberedState = window->isMinimized() ? Qt::WindowMinimized : Qt::WindowNoState;
}

void TrayWindow::TrayIcon1Click()
{
    m_parts.trayMenu->popup(QCursor::pos());
}

void TrayWindow::TrayIcon1DblClick()
{
    m_showingRemembered = true;
    if (m_rememberedState & Qt::WindowMinimized)
        m_parts.window->showMinimized();
    else
        m_parts.window->showNormal();
    m_showingRemembered = false;
}

void TrayWindow::showAsked(QWidget* page)
{
    QMainWindow* window = m_parts.window;
    m_showingRemembered = true;
    m_rememberedState = Qt::WindowNoState;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    m_showingRemembered = false;
    m_parts.pages->setCurrentWidget(page);
    window->raise();
    window->activateWindow();
}

void TrayWindow::Open1Click()
{
    showAsked(m_parts.logPage);
}

void TrayWindow::NItemOptionClick()
{
    showAsked(m_parts.optionsPage);
}

} // namespace quorvel::app
