#pragma once
// Opening and saving the message log: the rich-text model adapted to QTextDocument.

#include "ui/logfile/RichText.h"

#include <QString>
#include <QTextCursor>
#include <QTextDocument>

#include <cstddef>
#include <vector>

namespace quorvel::logfile {

RichText FromDocument(const QTextDocument& document);
void AppendToDocument(const RichText& text, QTextDocument& document);
// Inserts at the cursor, in place of its selection; one edit with the cursor's.
void InsertRichText(const RichText& text, QTextCursor& cursor);

// Replaces the document's content with the file. The file decides how it is read, whatever the last
// save was: RTF when it begins with "{\rtf" (after a byte-order mark and white space), else plain
// text; "Failed to Load Stream" when it is neither. A file that cannot be read: "Cannot open file
// "<path>". <reason>".
void LoadLogFile(const QString& path, QTextDocument& document);

// What LoadLogFile puts into the document, read and decoded without touching one, so that it may
// run off the window's thread. Same errors. Lines longer than 4096 characters come broken up.
RichText ReadLogFile(const QString& path);

// The same text in parts of at most about maxBytes each, cut between characters (at a line end when
// there is one near), to be appended to a document one part at a time.
std::vector<RichText> SplitForAppending(RichText text, std::size_t maxBytes);

// plainText: UTF-8 text with CR LF line ends; otherwise RTF. Replaces an existing file.
// A file that cannot be written: "Cannot create file "<path>". <reason>".
void SaveLogFile(const QString& path, bool plainText, const QTextDocument& document);

} // namespace quorvel::logfile
