#include "ui/MachineOrder.h"

#include <array>

#include "session/MachineHealth.h"
#include "ui/MachineListModel.h"

namespace {

// Where each health state sorts, worst first: the machines a person must
// see to come before those that only want a new range, and those before
// the ones at work.
int HealthRank(HealthState state) {
  constexpr std::array kWorstFirst{HealthState::Unreachable, HealthState::Stalled,
                                   HealthState::RunningDry, HealthState::Finished,
                                   HealthState::Working};
  int rank = 0;
  while (kWorstFirst[static_cast<size_t>(rank)] != state) ++rank;
  return rank;
}

// Compares names as people read them, in any locale: runs of digits by
// their value ("box2" before "box10"), other letters regardless of case.
int CompareNames(QStringView a, QStringView b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      const auto digitsFrom = [](QStringView text, qsizetype& at) {
        while (at < text.size() && text[at] == u'0') ++at;
        const qsizetype start = at;
        while (at < text.size() && text[at].isDigit()) ++at;
        return text.sliced(start, at - start);
      };
      const QStringView x = digitsFrom(a, i), y = digitsFrom(b, j);
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      if (const int order = x.compare(y); order != 0) return order;
      continue;
    }
    const char16_t x = a[i++].toCaseFolded().unicode(), y = b[j++].toCaseFolded().unicode();
    if (x != y) return x < y ? -1 : 1;
  }
  return (i < a.size()) - (j < b.size());
}

}  // namespace

MachineSorting MachineSorting::afterClick(int clicked) const {
  if (clicked != column) return {clicked, Qt::AscendingOrder, false};
  if (order == Qt::AscendingOrder) return {column, Qt::DescendingOrder, byHealth};
  return {};
}

MachineOrder::MachineOrder(QObject* parent) : QSortFilterProxyModel(parent) {
  // Sorting and filtering follow the rows when the window says so.
  setDynamicSortFilter(false);
  setSortRole(MachineListModel::ValueRole);
}

void MachineOrder::setSorting(const MachineSorting& sorting) {
  sorting_ = sorting;
  // Table order is the source's own, rising.
  sort(sorting.column,
       sorting.column == MachineSorting::kTableOrder ? Qt::AscendingOrder : sorting.order);
  emit sortingChanged();
}

void MachineOrder::setFilterText(const QString& text) {
  const QString filter = text.trimmed();
  if (filter == filter_) return;
  filter_ = filter;
  invalidateRowsFilter();
}

void MachineOrder::rowsChanged() {
  if (sorting_.column != MachineSorting::kTableOrder || !filter_.isEmpty()) invalidate();
}

QVariant MachineOrder::sortValue(const QModelIndex& index) const {
  if (!sorting_.byHealth) return index.data(MachineListModel::ValueRole);
  const QVariant health = index.data(MachineListModel::HealthRole);
  return health.isNull() ? health : HealthRank(static_cast<HealthState>(health.toInt()));
}

bool MachineOrder::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const QVariant a = sortValue(left);
  const QVariant b = sortValue(right);
  // Descending order asks whether right < left: a row without a value is
  // the largest rising and the smallest falling, so that it goes last.
  if (a.isNull() || b.isNull())
    return a.isNull() != b.isNull() && b.isNull() == (sortOrder() == Qt::AscendingOrder);
  if (a.typeId() == QMetaType::QString) return CompareNames(a.toString(), b.toString()) < 0;
  return QVariant::compare(a, b) == QPartialOrdering::Less;
}

bool MachineOrder::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (filter_.isEmpty()) return true;
  const QModelIndex name = sourceModel()->index(sourceRow, 0, sourceParent);
  if (name.data().toString().contains(filter_, Qt::CaseInsensitive)) return true;
  const QVariant health = name.data(MachineListModel::HealthRole);
  return !health.isNull() &&
         QString::fromLatin1(HealthName(static_cast<HealthState>(health.toInt())))
             .contains(filter_, Qt::CaseInsensitive);
}
