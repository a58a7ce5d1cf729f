#pragma once
// The window's life beside the tray: hiding into it instead of closing or minimising, coming back
// in the state it was left in, the tray menu on a click and the balloons.

#include <QObject>
#include <QStringList>

class QAction;
class QMainWindow;
class QMenu;
class QStatusBar;
class QTabWidget;
class QTimer;
class QWidget;

namespace quorvel::ui {
class Tray;
}

namespace quorvel::app {

struct TrayWindowParts {
    QMainWindow* window = nullptr;
    ui::Tray* tray = nullptr;
    QMenu* trayMenu = nullptr;
    QTabWidget* pages = nullptr;
    QWidget* logPage = nullptr;
    QWidget* optionsPage = nullptr;
    QAction* showLog = nullptr;
    QAction* showOptions = nullptr;
    QStatusBar* statusBar = nullptr;
};

class TrayWindow : public QObject {
    Q_OBJECT
public:
    TrayWindow(const TrayWindowParts& parts, QObject* parent);

    bool trayAvailable() const;
    // Start-up: hidden in the tray, remembered as minimised, with the start balloon.
    void startInTray();
    // Start-up where nothing could bring a hidden window back.
    void startVisible();
    // startVisible, and the start balloon in the status bar.
    void startWithoutTray();
    void hideToTray();
    // The window's changeEvent: minimising goes to the tray.
    void windowStateChanged();

public slots:
    void TrayIcon1Click();
    void TrayIcon1DblClick();
    void Open1Click();
    void NItemOptionClick();

private:
    void showAsked(QWidget* page);
    void showBalloonInStatusBar(const QString& text, int milliseconds);
    void nextStatusLine();

    TrayWindowParts m_parts;
    QTimer* m_singleClick;
    bool m_showingRemembered = false;
    Qt::WindowStates m_rememberedState = Qt::WindowNoState;
    // Balloon lines still to come in the status bar, where there is no tray.
    QStringList m_statusLines;
    int m_statusLineMs = 0;
    QTimer* m_statusLine;
};

} // namespace quorvel::app
