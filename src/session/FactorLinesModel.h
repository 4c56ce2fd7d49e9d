#pragma once

#include <QAbstractListModel>
#include <cstddef>
#include <vector>

#include "model/PaneText.h"

// The lines of a factor pane's text as a list, for a view that shows only
// the rows on screen: setting a text costs one scan for its line ends, and
// a line becomes a QString only when it is drawn or copied. The list holds
// the text's parts itself, so that what it shows stays whole until the next
// setText, whatever the model puts in the text's place meanwhile (a refresh
// that lands between the model's change and the pane's update).
class FactorLinesModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  void setText(PaneText text);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Line `row` without its line end; empty for a row the text has not.
  QString line(int row) const;
  // The lines of `rows`, in order, each followed by a line feed.
  QString linesText(std::vector<int> rows) const;

 private:
  PaneText text_;
  // Where each line begins, counted through the parts one after another,
  // and one more at the end; a part always begins a line.
  std::vector<size_t> starts_;
  std::vector<size_t> partEnds_;  // where each part ends, counted so
};
