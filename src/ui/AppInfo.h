#pragma once
// The program's name, the maker's lines and addresses, and the help and About texts, as Qt takes them
// (the texts themselves are in ui/texts), and the icon.

#include <QIcon>
#include <QString>
#include <QUrl>

namespace quorvel::ui {

QString ApplicationTitle(); // "Quorvel"
QIcon ApplicationIcon();    // window and tray icon

// The maker's details live here and nowhere else.
struct Maker {
    static QString ownershipLine();
    static QString email();
    static QUrl homepage();
    static QUrl enginesPage(); // further speech voices for download
    static QUrl mailto();
};

QString HelpText();  // seventeen lines
QString AboutText(); // eight lines

// Start balloon and the one shown when the window goes into the tray.
QString StartBalloonTitle();
QString StartBalloonText();
QString HiddenBalloonText();

} // namespace quorvel::ui
