#include "session/FactorLinesModel.h"

#include <algorithm>
#include <cstring>

void FactorLinesModel::setText(const std::string* text) {
  beginResetModel();
  text_ = text;
  starts_.clear();
  const char* const begin = text ? text->data() : nullptr;
  const char* const end = begin ? begin + text->size() : nullptr;
  for (const char* next = begin; next != end;) {
    starts_.push_back(static_cast<size_t>(next - begin));
    const auto* lineFeed =
        static_cast<const char*>(std::memchr(next, '\n', static_cast<size_t>(end - next)));
    next = lineFeed ? lineFeed + 1 : end;
  }
  if (begin) starts_.push_back(static_cast<size_t>(end - begin));
  endResetModel();
}

int FactorLinesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || starts_.empty() ? 0 : static_cast<int>(starts_.size() - 1);
}

QString FactorLinesModel::line(int row) const {
  const size_t first = starts_[static_cast<size_t>(row)];
  size_t last = starts_[static_cast<size_t>(row) + 1];
  while (last > first && ((*text_)[last - 1] == '\n' || (*text_)[last - 1] == '\r')) --last;
  return QString::fromUtf8(text_->data() + first, static_cast<qsizetype>(last - first));
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
