#pragma once
// The message log RichEdit1: coloured text that the user may also edit, appended to at the end. A plain
// text layout lays out only the paragraphs in sight, so a long log or a burst of chat costs little
// while the window is hidden or shows its end; the log's text keeps only character formats anyway.

#include <QColor>
#include <QElapsedTimer>
#include <QList>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>

namespace quorvel::ui {

class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogView(QWidget* parent = nullptr);
    ~LogView() override;

    // Appends text as a new last line, in the end's formatting with the given colour; exactly the
    // appended characters get the colour. Flat cost: no copy of the whole text per line.
    // A line inParagraph follows the last one after a line break in the same paragraph, which looks the
    // same and is saved the same: a message's header and text are one paragraph, since a paragraph costs
    // about 180 bytes more than a line break and takes longer to insert.
    void AddLogLine(const QString& text, const QColor& color, bool scrollToEnd, bool inParagraph = false);

    // What the WAV export reads: the selection if any, else the whole text (line breaks as '\n').
    QString selectedPlainText() const;

    // While held, appended lines wait and follow in order on release: a log that is being loaded
    // gets the lines that arrived meanwhile behind its content.
    void holdAppends();
    void releaseAppends();

    // An empty document set up like the shown one, to be filled away from the view; showDocument
    // puts it in place of the shown one, which is deleted.
    QTextDocument* makeDocument();
    void showDocument(QTextDocument* filled);

protected:
    bool viewportEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void holdPaint();
    void releasePaint();
    void endTurn();
    void closeEdit();
    void showEnd();

    // The lines of one turn of the event loop, or of all turns while the paint is held, are one edit of
    // the document, of which the view is told once; it goes to the end when the edit closes, or when
    // shown.
    bool m_scrollPending = false;
    QTextCursor m_openEdit;
    QTextCharFormat m_endFormat;
    int m_endLength = -1; // the document's length behind the last line appended; -1: look anew
    QTimer m_closeEdit;
    QElapsedTimer m_sincePaint;
    QTimer m_paintRelease;
    struct Waiting {
        QString text;
        QColor color;
        bool scrollToEnd;
        bool inParagraph;
    };
    bool m_held = false;
    QList<Waiting> m_waiting;
};

} // namespace quorvel::ui
