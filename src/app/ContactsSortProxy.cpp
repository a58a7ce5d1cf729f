#include "app/ContactsSortProxy.h"

#include <algorithm>

namespace quorvel::app {

ContactsSortProxy::ContactsSortProxy(QObject* parent) : QAbstractProxyModel(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(200);
    connect(&m_timer, &QTimer::timeout, this, &ContactsSortProxy::flush);
}

void ContactsSortProxy::setSourceModel(QAbstractItemModel* source)
{
    beginResetModel();
    for (const auto& c : m_connections)
        disconnect(c);
    m_connections.clear();
    QAbstractProxyModel::setSourceModel(source);
    if (source) {
        using M = QAbstractItemModel;
        m_connections << connect(source, &M::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
            sourceRowsInserted(first, last);
        }) << connect(source, &M::dataChanged, this, &ContactsSortProxy::sourceDataChanged);
        // Anything but appended rows and changed values starts the list anew.
        const auto begin = [this] { beginResetModel(); };
        const auto end = [this] {
            rebuild();
            endResetModel();
        };
        m_connections << connect(source, &M::modelAboutToBeReset, this, begin)
                      << connect(source, &M::modelReset, this, end)
                      << connect(source, &M::rowsAboutToBeRemoved, this, begin)
                      << connect(source, &M::rowsRemoved, this, end)
                      << connect(source, &M::rowsAboutToBeMoved, this, begin)
                      << connect(source, &M::rowsMoved, this, end)
                      << connect(source, &M::layoutAboutToBeChanged, this, begin)
                      << connect(source, &M::layoutChanged, this, end)
                      << connect(source, &M::columnsAboutToBeInserted, this, begin)
                      << connect(source, &M::columnsInserted, this, end)
                      << connect(source, &M::columnsAboutToBeRemoved, this, begin)
                      << connect(source, &M::columnsRemoved, this, end);
    }
    rebuild();
    endResetModel();
}

void ContactsSortProxy::rebuild()
{
    m_timer.stop();
    const int rows = sourceModel() ? sourceModel()->rowCount() : 0;
    m_keys.assign(static_cast<std::size_t>(rows), Key{});
    m_changed.resize(static_cast<std::size_t>(rows));
    m_pending.clear();
    m_isPending.assign(static_cast<std::size_t>(rows), 0);
    m_sourceToProxy.assign(static_cast<std::size_t>(rows), -1);
    m_proxyToSource.clear();
    // Stored rows count as changed in their order: the later one is taken as the newer.
    for (int row = 0; row < rows; ++row) {
        m_changed[static_cast<std::size_t>(row)] = static_cast<quint64>(row);
        m_keys[static_cast<std::size_t>(row)] = keyOf(row);
        if (accepts(row))
            m_proxyToSource.push_back(row);
    }
    m_clock = static_cast<quint64>(rows);
    std::sort(m_proxyToSource.begin(), m_proxyToSource.end(), [this](int a, int b) { return lessThan(a, b); });
    renumber(0);
}

void ContactsSortProxy::sourceRowsInserted(int first, int last)
{
    if (first != static_cast<int>(m_sourceToProxy.size())) {
        beginResetModel();
        rebuild();
        endResetModel();
        return;
    }
    const auto rows = static_cast<std::size_t>(last) + 1;
    m_sourceToProxy.resize(rows, -1);
    m_keys.resize(rows);
    m_changed.resize(rows);
    m_isPending.resize(rows, 0);
    for (int row = first; row <= last; ++row) {
        m_changed[static_cast<std::size_t>(row)] = m_clock++;
        note(row);
    }
}

void ContactsSortProxy::sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                          const QList<int>& roles)
{
    if (!topLeft.isValid() || !bottomRight.isValid())
        return;
    const int first = topLeft.row(), last = std::min(bottomRight.row(), static_cast<int>(m_sourceToProxy.size()) - 1);
    // What is shown changes at once; only its place waits for the next batch.
    int low = rowCount(), high = -1;
    for (int row = first; row <= last; ++row) {
        const int p = m_sourceToProxy[static_cast<std::size_t>(row)];
        if (p >= 0) {
            low = std::min(low, p);
            high = std::max(high, p);
        }
    }
    if (high >= 0)
        emit dataChanged(index(low, topLeft.column()), index(high, bottomRight.column()), roles);
    if (!roles.isEmpty() && !roles.contains(Qt::DisplayRole) && !roles.contains(m_sortRole))
        return;
    for (int row = first; row <= last; ++row) {
        m_changed[static_cast<std::size_t>(row)] = m_clock++;
        note(row);
    }
}

void ContactsSortProxy::note(int sourceRow)
{
    char& pending = m_isPending[static_cast<std::size_t>(sourceRow)];
    if (!pending) {
        pending = 1;
        m_pending.push_back(sourceRow);
    }
    if (m_live && !m_timer.isActive())
        m_timer.start();
}

void ContactsSortProxy::setLive(bool live)
{
    m_live = live;
    if (live)
        flush();
    else
        m_timer.stop();
}

void ContactsSortProxy::setFilterText(const QString& text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    for (int row = 0; row < static_cast<int>(m_sourceToProxy.size()); ++row)
        note(row);
    flush();
}

void ContactsSortProxy::flush()
{
    m_timer.stop();
    if (m_pending.empty())
        return;
    std::vector<int> hide, show, moved;
    for (const int row : m_pending) {
        const auto r = static_cast<std::size_t>(row);
        m_isPending[r] = 0;
        m_keys[r] = keyOf(row);
        const bool visible = m_sourceToProxy[r] >= 0;
        if (!accepts(row)) {
            if (visible)
                hide.push_back(m_sourceToProxy[r]);
        } else {
            (visible ? moved : show).push_back(row);
        }
    }
    m_pending.clear();
    removeProxyRows(std::move(hide));
    if (!show.empty()) {
        // Appended first, then moved to their places with the changed rows in one layout change.
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(show.size()) - 1);
        m_proxyToSource.insert(m_proxyToSource.end(), show.begin(), show.end());
        renumber(static_cast<std::size_t>(first));
        endInsertRows();
        moved.insert(moved.end(), show.begin(), show.end());
    }
    if (!moved.empty())
        place(std::move(moved));
}

void ContactsSortProxy::removeProxyRows(std::vector<int> rows)
{
    // From the bottom up, one signal per run of neighbouring rows.
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i + 1;
        while (j < rows.size() && rows[j] == rows[j - 1] - 1)
            ++j;
        const int low = rows[j - 1], high = rows[i];
        beginRemoveRows({}, low, high);
        for (int p = low; p <= high; ++p)
            m_sourceToProxy[static_cast<std::size_t>(m_proxyToSource[static_cast<std::size_t>(p)])] = -1;
        m_proxyToSource.erase(m_proxyToSource.begin() + low, m_proxyToSource.begin() + high + 1);
        renumber(static_cast<std::size_t>(low));
        endRemoveRows();
        i = j;
    }
}

void ContactsSortProxy::place(std::vector<int> rows)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> sourceRows;
    sourceRows.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& i : before)
        sourceRows.push_back(m_proxyToSource[static_cast<std::size_t>(i.row())]);

    const auto less = [this](int a, int b) { return lessThan(a, b); };
    std::sort(rows.begin(), rows.end(), less);
    for (const int row : rows)
        m_sourceToProxy[static_cast<std::size_t>(row)] = -1;
    std::vector<int> rest;
    rest.reserve(m_proxyToSource.size());
    std::copy_if(m_proxyToSource.begin(), m_proxyToSource.end(), std::back_inserter(rest),
                 [this](int row) { return m_sourceToProxy[static_cast<std::size_t>(row)] >= 0; });
    // A binary search per placed row, so a batch of a few rows compares a few times log n.
    m_proxyToSource.clear();
    auto from = rest.begin();
    for (const int row : rows) {
        const auto to = std::upper_bound(from, rest.end(), row, less);
        m_proxyToSource.insert(m_proxyToSource.end(), from, to);
        m_proxyToSource.push_back(row);
        from = to;
    }
    m_proxyToSource.insert(m_proxyToSource.end(), from, rest.end());
    renumber(0);

    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(m_sourceToProxy[static_cast<std::size_t>(sourceRows[static_cast<std::size_t>(i)])],
                       before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ContactsSortProxy::renumber(std::size_t from)
{
    for (std::size_t p = from; p < m_proxyToSource.size(); ++p)
        m_sourceToProxy[static_cast<std::size_t>(m_proxyToSource[p])] = static_cast<int>(p);
}

void ContactsSortProxy::sort(int column, Qt::SortOrder order)
{
    flush();
    m_sortColumn = column;
    m_sortOrder = order;
    for (int row = 0; row < static_cast<int>(m_keys.size()); ++row)
        m_keys[static_cast<std::size_t>(row)] = keyOf(row);
    place(m_proxyToSource); // every row placed anew
}

ContactsSortProxy::Key ContactsSortProxy::keyOf(int sourceRow) const
{
    Key key;
    if (m_sortColumn < 0 || !sourceModel())
        return key;
    const QVariant value = sourceModel()->index(sourceRow, m_sortColumn).data(m_sortRole);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        key.numeric = true;
        key.number = value.toDouble();
        break;
    default:
        key.text = value.toString().toCaseFolded();
        break;
    }
    return key;
}

bool ContactsSortProxy::accepts(int sourceRow) const
{
    if (m_filter.isEmpty())
        return true;
    return std::any_of(m_filterColumns.begin(), m_filterColumns.end(), [&](int column) {
        return sourceModel()->index(sourceRow, column).data().toString().contains(m_filter, Qt::CaseInsensitive);
    });
}

bool ContactsSortProxy::lessThan(int a, int b) const
{
    if (m_sortOrder == Qt::DescendingOrder)
        std::swap(a, b);
    const Key& x = m_keys[static_cast<std::size_t>(a)];
    const Key& y = m_keys[static_cast<std::size_t>(b)];
    if (x.numeric && y.numeric) {
        if (x.number != y.number)
            return x.number < y.number;
    } else if (x.numeric != y.numeric) {
        return x.numeric; // numbers before text, as no real column mixes them
    } else if (const int c = x.text.compare(y.text); c != 0) {
        return c < 0;
    }
    return m_changed[static_cast<std::size_t>(a)] < m_changed[static_cast<std::size_t>(b)];
}

QModelIndex ContactsSortProxy::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex ContactsSortProxy::parent(const QModelIndex&) const
{
    return {};
}

int ContactsSortProxy::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_proxyToSource.size());
}

int ContactsSortProxy::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->columnCount();
}

bool ContactsSortProxy::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && rowCount() > 0 && columnCount() > 0;
}

QModelIndex ContactsSortProxy::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || !sourceModel() || proxyIndex.row() >= rowCount())
        return {};
    return sourceModel()->index(m_proxyToSource[static_cast<std::size_t>(proxyIndex.row())], proxyIndex.column());
}

QModelIndex ContactsSortProxy::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.row() >= static_cast<int>(m_sourceToProxy.size()))
        return {};
    const int row = m_sourceToProxy[static_cast<std::size_t>(sourceIndex.row())];
    return row < 0 ? QModelIndex() : index(row, sourceIndex.column());
}

QVariant ContactsSortProxy::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The base class maps the section through row 0, which an empty list does not have.
    if (orientation == Qt::Horizontal && sourceModel())
        return sourceModel()->headerData(section, orientation, role);
    return QAbstractItemModel::headerData(section, orientation, role);
}

} // namespace quorvel::app
