#pragma once
// Showing the program's file dialogs, with a way for tests to supply the chosen name.

#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QFileDialog;
class QWidget;

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

// A file dialog made when it is first needed, then kept. A QFileDialog reads the folder it shows,
// icons and all, on a thread of its own as soon as it is made: megabytes for a program that mostly
// sits in the tray and may never open one.
class LazyFileDialog {
public:
    // setup gives the new dialog (a child of parent) its name, mode and filters.
    LazyFileDialog(QWidget* parent, std::function<void(QFileDialog&)> setup);
    QFileDialog& get();

private:
    QWidget* m_parent;
    std::function<void(QFileDialog&)> m_setup;
    QPointer<QFileDialog> m_dialog;
};

} // namespace quorvel::ui
