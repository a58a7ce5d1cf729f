#pragma once
// TrayIcon1 and its balloons. Without a notification area the icon is never shown and balloons
// are only announced through balloonShown.

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;

namespace quorvel::ui {

struct Balloon {
    QString title, text;
    int milliseconds = 0;
};

class Tray : public QObject {
    Q_OBJECT
public:
    Tray(bool available, const QIcon& icon, QMenu* menu, QObject* parent = nullptr);

    bool available() const { return m_available; }
    QSystemTrayIcon* icon() const { return m_icon; }
    void setVisible(bool visible);
    void showBalloon(const QString& title, const QString& text, int milliseconds);
    // Every balloon asked for this run, shown or not (no notification area).
    const QList<Balloon>& balloons() const { return m_balloons; }

signals:
    void balloonShown(const QString& title, const QString& text, int milliseconds);

private:
    bool m_available;
    QSystemTrayIcon* m_icon;
    QList<Balloon> m_balloons;
};

} // namespace quorvel::ui
