#pragma once
// Sorts and filters the contacts list for the view at a cost that does not grow with the list per
// message. The source only appends rows or resets; a new or changed row is merely noted, and noted
// rows are applied in batches: at once when the list is shown, and while it is shown at most every
// 200 ms, so the view's work in proportion to the list is paid per batch, not per message.

#include <QAbstractProxyModel>
#include <QList>
#include <QTimer>

#include <vector>

namespace quorvel::app {

class ContactsSortProxy : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit ContactsSortProxy(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* source) override;
    // What rows are sorted by; counts compare as numbers, everything else as text without case.
    void setSortRole(int role) { m_sortRole = role; }
    // The columns whose text the filter looks for, without regard to case.
    void setFilterColumns(QList<int> columns) { m_filterColumns = std::move(columns); }
    void setFilterText(const QString& text);
    // While live, noted rows are applied from a short timer; going live applies them at once.
    void setLive(bool live);
    // Applies the noted rows now.
    void flush();
    int pendingRows() const { return static_cast<int>(m_pending.size()); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    struct Key {
        bool numeric = false;
        double number = 0;
        QString text; // case-folded
    };

    void rebuild();
    void sourceRowsInserted(int first, int last);
    void sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);
    void note(int sourceRow);
    Key keyOf(int sourceRow) const;
    bool accepts(int sourceRow) const;
    bool lessThan(int a, int b) const;
    void removeProxyRows(std::vector<int> rows);
    // Puts the given visible source rows in their sorted places among the others, which are in order.
    void place(std::vector<int> rows);
    void renumber(std::size_t from);

    std::vector<int> m_proxyToSource;
    std::vector<int> m_sourceToProxy; // -1: filtered out or not applied yet
    std::vector<Key> m_keys;          // of the sort column, per source row
    std::vector<quint64> m_changed;   // when each source row last changed: ties put the latest first
    quint64 m_clock = 0;
    std::vector<int> m_pending;
    std::vector<char> m_isPending;
    QList<QMetaObject::Connection> m_connections;
    QTimer m_timer;
    bool m_live = false;
    int m_sortRole = Qt::DisplayRole;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QList<int> m_filterColumns;
    QString m_filter;
};

} // namespace quorvel::app
