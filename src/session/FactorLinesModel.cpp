#include "session/FactorLinesModel.h"

#include <algorithm>
#include <cstring>
#include <string_view>

void FactorLinesModel::setText(PaneText text) {
  beginResetModel();
  text_ = std::move(text);
  starts_.clear();
  partEnds_.clear();
  size_t partStart = 0;
  for (const PaneText::Part& part : text_.parts()) {
    const char* const begin = part->data();
    const char* const end = begin + part->size();
    for (const char* next = begin; next != end;) {
      starts_.push_back(partStart + static_cast<size_t>(next - begin));
      const auto* lineFeed =
          static_cast<const char*>(std::memchr(next, '\n', static_cast<size_t>(end - next)));
      next = lineFeed ? lineFeed + 1 : end;
    }
    partStart += part->size();
    partEnds_.push_back(partStart);
  }
  if (!partEnds_.empty()) starts_.push_back(partStart);
  endResetModel();
}

int FactorLinesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || starts_.empty() ? 0 : static_cast<int>(starts_.size() - 1);
}

QString FactorLinesModel::line(int row) const {
  if (row < 0 || static_cast<size_t>(row) + 1 >= starts_.size()) return {};
  const size_t first = starts_[static_cast<size_t>(row)];
  const size_t last = starts_[static_cast<size_t>(row) + 1];
  const auto part = static_cast<size_t>(
      std::upper_bound(partEnds_.begin(), partEnds_.end(), first) - partEnds_.begin());
  if (part >= text_.parts().size()) return {};
  const std::string& text = *text_.parts()[part];
  const size_t partStart = part == 0 ? 0 : partEnds_[part - 1];
  // A line that would reach past its part is not this text's.
  if (last < first || last - partStart > text.size()) return {};
  std::string_view shown(text.data() + (first - partStart), last - first);
  while (shown.ends_with('\n') || shown.ends_with('\r')) shown.remove_suffix(1);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

QVariant FactorLinesModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  return line(index.row());
}

QString FactorLinesModel::linesText(std::vector<int> rows) const {
  std::sort(rows.begin(), rows.end());
  QString text;
  for (const int row : rows) {
    if (row < 0 || row >= rowCount()) continue;
    text += line(row);
    text += '\n';
  }
  return text;
}
