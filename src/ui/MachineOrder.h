#pragma once

#include <QSortFilterProxyModel>

// How the machine list is ordered: by a column's values, rising or falling,
// or as the table lists the machines.
struct MachineSorting {
  static constexpr int kTableOrder = -1;

  int column = kTableOrder;
  Qt::SortOrder order = Qt::AscendingOrder;
  // The Name column sorted by the machines' health, worst first when rising.
  bool byHealth = false;

  // What a click on the header of `clicked` makes of this order: the column
  // that sorts reverses (health included), a reversed one goes back to
  // table order, and any other column sorts rising by its values.
  MachineSorting afterClick(int clicked) const;

  friend bool operator==(const MachineSorting&, const MachineSorting&) = default;
};

// The machine list as the window shows it: MachineListModel's rows sorted,
// and narrowed to the machines whose name or health state ("stalled",
// "running dry") holds the filter text, in any case. Numbers sort as
// numbers, names as people read them ("box2" before "box10"); rows without
// a value go last either way, and rows of equal values keep table order.
// The rows are sorted and filtered again when told, not at each row's
// change, so that a refresh of a thousand machines costs the list a few
// relayouts and not one per row.
class MachineOrder : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit MachineOrder(QObject* parent = nullptr);

  const MachineSorting& sorting() const { return sorting_; }
  void setSorting(const MachineSorting& sorting);
  const QString& filterText() const { return filter_; }
  void setFilterText(const QString& text);
  // The rows' values or health changed: they are sorted and filtered anew.
  void rowsChanged();

 signals:
  void sortingChanged();

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  QVariant sortValue(const QModelIndex& index) const;

  MachineSorting sorting_;
  QString filter_;
};
