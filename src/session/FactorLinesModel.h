#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <string>
#include <vector>

// The lines of a factor pane's text as a list, for a view that shows only
// the rows on screen: setting a text costs one scan for its line ends, and
// a line becomes a QString only when it is drawn or copied. The text is
// the model's own (each line ending in CR LF); it must stay unchanged
// until the next setText.
class FactorLinesModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  void setText(const std::string* text);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // The lines of `rows`, in order, each followed by a line feed.
  QString linesText(std::vector<int> rows) const;

 private:
  QString line(int row) const;

  const std::string* text_ = nullptr;
  std::vector<size_t> starts_;  // where each line begins; one more at the end
};
