#include "ui/LogView.h"

#include <QEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

namespace quorvel::ui {

namespace {
// Lines that come faster than this are drawn together: a burst of chat redrew the whole view for each
// line, which cost more than everything else about the line; the eye sees no difference.
constexpr int kPaintIntervalMs = 40;
} // namespace

LogView::LogView(QWidget* parent) : QTextEdit(parent)
{
    setObjectName(QStringLiteral("RichEdit1"));
    setAcceptRichText(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // An undo stack would keep every appended line twice, and Ctrl+Z would take chat lines away.
    document()->setUndoRedoEnabled(false);
    m_paintRelease.setSingleShot(true);
    connect(&m_paintRelease, &QTimer::timeout, this, &LogView::releasePaint);
}

bool LogView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Paint)
        m_sincePaint.start();
    return QTextEdit::viewportEvent(event);
}

void LogView::holdPaint()
{
    if (m_paintRelease.isActive() || !m_sincePaint.isValid() || !viewport()->isVisible())
        return;
    const qint64 since = m_sincePaint.elapsed();
    if (since >= kPaintIntervalMs)
        return;
    // Held updates are dropped, not queued; enabling them again repaints the view and the bar whole.
    viewport()->setUpdatesEnabled(false);
    verticalScrollBar()->setUpdatesEnabled(false);
    m_paintRelease.start(static_cast<int>(kPaintIntervalMs - since));
}

void LogView::releasePaint()
{
    viewport()->setUpdatesEnabled(true);
    verticalScrollBar()->setUpdatesEnabled(true);
}

void LogView::AddLogLine(const QString& text, const QColor& color, bool scrollToEnd)
{
    if (m_held) {
        m_waiting.append({text, color, scrollToEnd});
        return;
    }
    holdPaint();
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
