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

// Each line of the log (a paragraph, or a part of one ended by a line break) with its colour; a line
// of mixed colours is marked so that it fails a comparison.
inline QList<Line> Lines(const QTextDocument& doc)
{
    QList<Line> lines;
    QString text;
    QColor color;
    bool mixed = false;
    auto endLine = [&] {
        lines.append({mixed ? QStringLiteral("<mixed>") + text : text, color});
        text.clear();
        color = QColor();
        mixed = false;
    };
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QColor c = it.fragment().charFormat().foreground().color();
            const QStringList parts = it.fragment().text().split(QChar::LineSeparator);
            for (qsizetype i = 0; i < parts.size(); ++i) {
                if (i > 0)
                    endLine();
                if (parts[i].isEmpty())
                    continue;
                mixed = mixed || (color.isValid() && c != color);
                color = c;
                text += parts[i];
            }
        }
        endLine();
    }
    if (lines.size() == 1 && lines[0].text.isEmpty())
        lines.clear();
    return lines;
}

} // namespace quorvel::testing
