#pragma once
// The program's message boxes in one place, so that tests can answer them instead of fighting a
// modal loop, and can see what was shown.

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

namespace quorvel::ui {

struct ShownBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = true;
};

class MessageBox {
public:
    // Modal box; returns the button pressed (or the test's next answer without showing anything).
    static QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                            const QString& text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // A box with the program's caption, no icon and OK, as failures of system calls are reported.
    static void plain(QWidget* parent, const QString& text);
    // The report of an error not handled where it arose: caption "Quorvel", error icon, OK, and a
    // full stop added when the message does not end in one.
    static void standardError(QWidget* parent, const QString& message);
    static QString standardErrorText(const QString& message);

    // A box that leaves the main window usable (help, about); deletes itself when closed.
    static QMessageBox* modeless(QWidget* parent, const QString& caption, const QString& text);

    // While the program is ending nobody may be there to answer: modal boxes then only go to
    // standard error.
    static void setEnding(bool ending);

    // Tests: the next modal box returns this answer at once instead of being shown; answers queue up.
    static void setNextAnswer(QMessageBox::StandardButton button);
    static const QList<ShownBox>& shown();
    static void clearShown();

private:
    static QList<QMessageBox::StandardButton> s_nextAnswers;
    static QList<ShownBox> s_shown;
    static bool s_ending;
};

} // namespace quorvel::ui
