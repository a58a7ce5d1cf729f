#pragma once
// The friends seen since start or stored, as a table for the contacts tab. Rows are only ever
// appended, so a contact keeps its row for the whole run and a message finds it through the
// book's hash, whatever the number of contacts.

#include "app/settings/ContactsStore.h"

#include <QAbstractTableModel>

namespace quorvel::app {

class ContactsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Account, Nickname, Messages, LastSeen, ColumnCount };
    // What the list sorts by: counts as numbers, times as ISO 8601 text.
    static constexpr int SortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const settings::ContactBook& book() const { return m_book; }
    void reset(settings::ContactBook book);
    // A friend's message: the row is added or updated.
    void recordMessage(const std::string& account, const std::string& nickname, const std::string& isoTime);
    void setChoices(int row, const settings::Contact& choices);

private:
    settings::ContactBook m_book;
};

} // namespace quorvel::app
