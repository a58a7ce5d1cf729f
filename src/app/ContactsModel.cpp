#include "app/ContactsModel.h"

#include "app/settings/ContactsList.h"

#include <QColor>
#include <QString>

namespace quorvel::app {

namespace {

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

int ContactsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_book.size());
}

int ContactsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ContactsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const settings::Contact& c = m_book.at(static_cast<std::size_t>(index.row()));
    if (role == Qt::ForegroundRole && c.mute)
        return QColor(Qt::gray);
    if (role == Qt::ToolTipRole)
        return FromUtf8(settings::ContactTipText(c));
    if (role == SortRole) {
        switch (index.column()) {
        case Messages:
            return c.messages; // numeric
        case LastSeen:
            return FromUtf8(c.lastSeen); // ISO 8601 sorts as text
        default:
            break;
        }
        role = Qt::DisplayRole;
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Account:
    case Nickname:
    case LastSeen:
        return FromUtf8(settings::ContactCellText(c, static_cast<settings::ContactColumn>(index.column())));
    case Messages:
        return c.messages;
    default:
        return {};
    }
}

QVariant ContactsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Account:
        return QStringLiteral("账号");
    case Nickname:
        return QStringLiteral("昵称");
    case Messages:
        return QStringLiteral("消息数");
    case LastSeen:
        return QStringLiteral("最后消息");
    default:
        return {};
    }
}

void ContactsModel::reset(settings::ContactBook book)
{
    beginResetModel();
    m_book = std::move(book);
    endResetModel();
}

void ContactsModel::recordMessage(const std::string& account, const std::string& nickname, const std::string& isoTime)
{
    if (const auto row = m_book.indexOf(account)) {
        m_book.recordMessage(account, nickname, isoTime);
        const int r = static_cast<int>(*row);
        emit dataChanged(index(r, Nickname), index(r, LastSeen), {Qt::DisplayRole});
        return;
    }
    const int r = rowCount();
    beginInsertRows({}, r, r);
    m_book.recordMessage(account, nickname, isoTime);
    endInsertRows();
}

void ContactsModel::setChoices(int row, const settings::Contact& choices)
{
    if (row < 0 || row >= rowCount())
        return;
    m_book.setChoices(static_cast<std::size_t>(row), choices);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::ForegroundRole, Qt::ToolTipRole});
}

} // namespace quorvel::app
