#include "ui/LogView.h"

#include "ui/logfile/LogFiles.h"

#include <QEvent>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

namespace quorvel::ui {

namespace {
// Lines that come faster than this are drawn together: a burst of chat redrew the whole view for each
// line, which cost more than everything else about the line; the eye sees no difference.
constexpr int kPaintIntervalMs = 40;
} // namespace

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("RichEdit1"));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // An undo stack would keep every appended line twice, and Ctrl+Z would take chat lines away.
    document()->setUndoRedoEnabled(false);
    m_paintRelease.setSingleShot(true);
    connect(&m_paintRelease, &QTimer::timeout, this, &LogView::releasePaint);
    m_closeEdit.setSingleShot(true);
    connect(&m_closeEdit, &QTimer::timeout, this, &LogView::endTurn);
}

LogView::~LogView()
{
    m_scrollPending = false;
    closeEdit();
}

bool LogView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Paint)
        m_sincePaint.start();
    return QPlainTextEdit::viewportEvent(event);
}

void LogView::showEvent(QShowEvent* event)
{
    closeEdit(); // lines that came while hidden are in place before the first paint
    QPlainTextEdit::showEvent(event);
}

bool LogView::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasHtml() || QPlainTextEdit::canInsertFromMimeData(source);
}

void LogView::insertFromMimeData(const QMimeData* source)
{
    if (!source->hasHtml()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    // Pasted or dropped rich text keeps what the log's files keep: colours, bold, italic, underline.
    QTextDocument pasted;
    pasted.setHtml(source->html());
    QTextCursor cursor = textCursor();
    logfile::InsertRichText(logfile::FromDocument(pasted), cursor);
    setTextCursor(cursor);
}

void LogView::endTurn()
{
    // Closing the edit lays out the view's last screenful to size the scroll bar. While the paint is
    // held that screenful may be scrolled past before it is ever drawn, so the edit stays open until
    // the paint is released.
    if (!m_paintRelease.isActive())
        closeEdit();
}

void LogView::closeEdit()
{
    m_closeEdit.stop();
    if (!m_openEdit.isNull())
        std::exchange(m_openEdit, QTextCursor()).endEditBlock();
    // Hidden, the view goes to the end when shown: finding the end lays lines out.
    if (m_scrollPending && isVisible()) {
        m_scrollPending = false;
        showEnd();
    }
}

void LogView::showEnd()
{
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    ensureCursorVisible();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
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
    closeEdit();
    viewport()->setUpdatesEnabled(true);
    verticalScrollBar()->setUpdatesEnabled(true);
}

void LogView::AddLogLine(const QString& text, const QColor& color, bool scrollToEnd, bool inParagraph)
{
    if (m_held) {
        m_waiting.append({text, color, scrollToEnd, inParagraph});
        return;
    }
    holdPaint();
    if (m_openEdit.isNull()) {
        m_openEdit = QTextCursor(document());
        m_openEdit.beginEditBlock();
        m_endLength = -1; // whatever happened between turns, the end is looked up anew
        m_closeEdit.start(0);
    }
    try {
        QString line = text;
        line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        line.replace(QLatin1Char('\r'), QLatin1Char('\n'));

        // The turn's cursor stays at the end, moved along by what it inserts; finding the end and its
        // format anew for each line was a good part of the line's cost. Edits by others (the user
        // typing, a paste) send it looking again.
        QTextCursor& cursor = m_openEdit;
        const QTextDocument* doc = document();
        if (!cursor.atEnd() || doc->characterCount() != m_endLength) {
            // Inside the turn's edit, the move does not lay the last line out to find its x.
            cursor.movePosition(QTextCursor::End);
            m_endFormat = cursor.charFormat();
        }
        const bool empty = doc->characterCount() <= 1;
        if (!empty && inParagraph)
            cursor.insertText(QString(QChar::LineSeparator), m_endFormat);
        else if (!empty)
            cursor.insertBlock(cursor.blockFormat(), m_endFormat);
        m_endFormat.setForeground(color);
        cursor.insertText(line, m_endFormat);
        m_endLength = doc->characterCount();

        m_scrollPending = m_scrollPending || scrollToEnd;
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
        AddLogLine(line.text, line.color, line.scrollToEnd, line.inParagraph);
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
    made->setDocumentLayout(new QPlainTextDocumentLayout(made));
    return made;
}

void LogView::showDocument(QTextDocument* filled)
{
    const QPointer<QTextDocument> old = document();
    filled->setUndoRedoEnabled(old->isUndoRedoEnabled());
    closeEdit();
    setDocument(filled);
    // The view's own first document belongs to Qt; the loaded ones are ours.
    if (old && old != filled && old->parent() == this)
        delete old.get();
}

} // namespace quorvel::ui
