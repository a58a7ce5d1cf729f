#include "ui/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace quorvel::ui {

std::optional<QString> FileDialog::s_nextFileName;

QString FileDialog::withDefaultSuffix(const QString& name, const QString& suffix)
{
    if (name.isEmpty() || suffix.isEmpty() || !QFileInfo(name).suffix().isEmpty() || name.endsWith(QLatin1Char('.')))
        return name;
    return name + QLatin1Char('.') + suffix;
}

QString FileDialog::exec(QFileDialog& dialog)
{
    dialog.selectFile(QString());
    QString chosen;
    if (s_nextFileName) {
        chosen = *s_nextFileName;
        s_nextFileName.reset();
    } else if (dialog.exec() == QDialog::Accepted) {
        chosen = dialog.selectedFiles().value(0);
        // A directory means nothing was named.
        if (QFileInfo(chosen).isDir())
            chosen.clear();
    }
    if (dialog.acceptMode() == QFileDialog::AcceptSave)
        chosen = withDefaultSuffix(chosen, dialog.defaultSuffix());
    return chosen;
}

void FileDialog::setNextFileName(const QString& name)
{
    s_nextFileName = name;
}

LazyFileDialog::LazyFileDialog(QWidget* parent, std::function<void(QFileDialog&)> setup)
    : m_parent(parent), m_setup(std::move(setup))
{
}

QFileDialog& LazyFileDialog::get()
{
    if (!m_dialog) {
        m_dialog = new QFileDialog(m_parent);
        m_setup(*m_dialog);
    }
    return *m_dialog;
}

} // namespace quorvel::ui
