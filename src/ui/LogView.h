#pragma once
// The message log RichEdit1: rich text that the user may also edit, appended to at the end.

#include <QColor>
#include <QTextEdit>

namespace quorvel::ui {

class LogView : public QTextEdit {
    Q_OBJECT
public:
    explicit LogView(QWidget* parent = nullptr);

    // Appends text as a new last line, in the end's formatting with the given colour; exactly the
    // appended characters get the colour. Flat cost: no copy of the whole text per line.
    void AddLogLine(const QString& text, const QColor& color, bool scrollToEnd);

    // What the WAV export reads: the selection if any, else the whole text (line breaks as '\n').
    QString selectedPlainText() const;
};

} // namespace quorvel::ui
