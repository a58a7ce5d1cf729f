#pragma once
// Showing the program's file dialogs, with a way for tests to supply the chosen name.

#include <QString>

#include <optional>

class QFileDialog;

namespace quorvel::ui {

class FileDialog {
public:
    // Empties the dialog's file name, shows it and returns the chosen file, or an empty text when
    // the user cancelled. A name without extension gets the dialog's default suffix.
    static QString exec(QFileDialog& dialog);

    // Tests: the next dialog is not shown and "chooses" this name (empty: cancelled).
    static void setNextFileName(const QString& name);

    static QString withDefaultSuffix(const QString& name, const QString& suffix);

private:
    static std::optional<QString> s_nextFileName;
};

} // namespace quorvel::ui
