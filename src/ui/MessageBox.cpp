#include "ui/MessageBox.h"

#include "ui/AppInfo.h"
#include "ui/texts/AppTexts.h"

namespace quorvel::ui {

QList<QMessageBox::StandardButton> MessageBox::s_nextAnswers;
QList<ShownBox> MessageBox::s_shown;
bool MessageBox::s_ending = false;

QMessageBox::StandardButton MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                             const QString& text, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    s_shown.append({caption, text, icon, buttons, true});
    if (!s_nextAnswers.isEmpty())
        return s_nextAnswers.takeFirst();
    // Reports reach standard error too: a box at logout, or on a display nobody watches, is never read.
    if (icon != QMessageBox::Question)
        qWarning("%s: %s", qPrintable(caption), qPrintable(text));
    if (s_ending)
        return defaultButton != QMessageBox::NoButton ? defaultButton : QMessageBox::Ok;
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MessageBox::plain(QWidget* parent, const QString& text)
{
    show(parent, QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok);
}

QString MessageBox::standardErrorText(const QString& message)
{
    return QString::fromStdString(texts::StandardErrorText(message.toStdString()));
}

void MessageBox::standardError(QWidget* parent, const QString& message)
{
    show(parent, QMessageBox::Critical, ApplicationTitle(), standardErrorText(message), QMessageBox::Ok);
}

QMessageBox* MessageBox::modeless(QWidget* parent, const QString& caption, const QString& text)
{
    s_shown.append({caption, text, QMessageBox::NoIcon, QMessageBox::Ok, false});
    auto* box = new QMessageBox(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("MessageBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

void MessageBox::setEnding(bool ending)
{
    s_ending = ending;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton button)
{
    s_nextAnswers.append(button);
}

const QList<ShownBox>& MessageBox::shown()
{
    return s_shown;
}

void MessageBox::clearShown()
{
    s_shown.clear();
}

} // namespace quorvel::ui
