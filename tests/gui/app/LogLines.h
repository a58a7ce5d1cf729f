#pragma once
// The log's blocks with their colours, for the window tests and the live capture test.

#include <QColor>
#include <QList>
#include <QString>
#include <QTextBlock>
#include <QTextDocument>

namespace quorvel::testing {

struct Line {
    QString text; // a regular expression where pattern is set
    QColor color;
    bool pattern = false;
};

// Each block of the log with its colour; a block of mixed colours is marked so that it fails a comparison.
inline QList<Line> Lines(const QTextDocument& doc)
{
    QList<Line> lines;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QColor color;
        bool mixed = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QColor c = it.fragment().charFormat().foreground().color();
            mixed = mixed || (color.isValid() && c != color);
            color = c;
        }
        lines.append({mixed ? QStringLiteral("<mixed>") + block.text() : block.text(), color});
    }
    if (lines.size() == 1 && lines[0].text.isEmpty())
        lines.clear();
    return lines;
}

} // namespace quorvel::testing
