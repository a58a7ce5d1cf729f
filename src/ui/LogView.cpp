#include "ui/LogView.h"

#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

namespace quorvel::ui {

LogView::LogView(QWidget* parent) : QTextEdit(parent)
{
    setObjectName(QStringLiteral("RichEdit1"));
    setAcceptRichText(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // An undo stack would keep every appended line twice, and Ctrl+Z would take chat lines away.
    document()->setUndoRedoEnabled(false);
}

void LogView::AddLogLine(const QString& text, const QColor& color, bool scrollToEnd)
{
    if (m_held) {
        m_waiting.append({text, color, scrollToEnd});
        return;
    }
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

void LogView::holdAppends()
{
    m_held = true;
}

void LogView::releaseAppends()
{
    m_held = false;
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    for (const Waiting& line : waiting)
        AddLogLine(line.text, line.color, line.scrollToEnd);
}

QTextDocument* LogView::makeDocument()
{
    const QTextDocument* shown = document();
    auto* made = new QTextDocument(this);
    made->setDefaultFont(shown->defaultFont());
    made->setDefaultTextOption(shown->defaultTextOption());
    made->setDefaultStyleSheet(shown->defaultStyleSheet());
    made->setDocumentMargin(shown->documentMargin());
    made->setIndentWidth(shown->indentWidth());
    made->setUseDesignMetrics(shown->useDesignMetrics());
    made->setDefaultCursorMoveStyle(shown->defaultCursorMoveStyle());
    made->setUndoRedoEnabled(false); // loading is no step to undo
    return made;
}

void LogView::showDocument(QTextDocument* filled)
{
    const QPointer<QTextDocument> old = document();
    filled->setUndoRedoEnabled(old->isUndoRedoEnabled());
    setDocument(filled);
    // The view's own first document belongs to Qt; the loaded ones are ours.
    if (old && old != filled && old->parent() == this)
        delete old.get();
}

} // namespace quorvel::ui
