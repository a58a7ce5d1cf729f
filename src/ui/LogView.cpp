#include "ui/LogView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace quorvel::ui {

LogView::LogView(QWidget* parent) : QTextEdit(parent)
{
    setObjectName(QStringLiteral("RichEdit1"));
    setAcceptRichText(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void LogView::AddLogLine(const QString& text, const QColor& color, bool scrollToEnd)
{
    try {
        QString line = text;
        line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        line.replace(QLatin1Char('\r'), QLatin1Char('\n'));

        QTextDocument* doc = document();
        QTextCursor cursor(doc);
        cursor.movePosition(QTextCursor::End);
        const bool empty = doc->characterCount() <= 1;
        QTextCharFormat format = cursor.charFormat();
        // One edit, so the document is laid out once per line rather than after each insertion.
        cursor.beginEditBlock();
        if (!empty)
            cursor.insertBlock(cursor.blockFormat(), format);
        format.setForeground(color);
        cursor.insertText(line, format);
        cursor.endEditBlock();

        if (scrollToEnd) {
            setTextCursor(cursor);
            ensureCursorVisible();
            verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        }
    } catch (...) {
        // Appending to the log never ends the handling of a message.
    }
}

QString LogView::selectedPlainText() const
{
    QString selected = textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    selected.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return selected;
}

} // namespace quorvel::ui
