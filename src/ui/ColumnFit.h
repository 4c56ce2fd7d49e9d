#pragma once

#include <QObject>
#include <QString>
#include <vector>

class QAbstractItemModel;
class QSize;
class QFont;
class QTreeView;
class QWidget;

// Keeps the machine list's columns wide enough for their whole texts: the
// header's, the rows' and those of a machine far along (p of 17 digits), so
// that a column fits before its values grow. A column only ever widens
// while the window is open, and stops following the rows once the user
// sets the widths, by dragging a header section or by widths remembered
// from an earlier drag; the spare width is left at the right.
class ColumnFit : public QObject {
  Q_OBJECT

 public:
  // `rows` is the model whose texts the list shows, unsorted or not.
  ColumnFit(QTreeView& list, const QAbstractItemModel& rows);

  // Widens `column` for `text` as a row would draw it, before any row says it.
  void fitText(int column, const QString& text);
  // The widths are the user's from now on.
  void keepUserWidths() { userWidths_ = true; }
  bool userWidths() const { return userWidths_; }
  // The width the list needs to show every column whole, frame and
  // vertical scroll bar included.
  int listWidth() const;
  // The height the list needs to show `rows` rows whole, header, frame and
  // horizontal scroll bar included.
  int listHeight(int rows) const;

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void fitAll();
  void fitRows(int first, int last);
  void widen(int column, int width);
  void setWidth(int column, int width);
  int cellWidth(int column, const QString& text, const QFont& font) const;
  QSize cellSize(int column, const QString& text, const QFont& font) const;
  int headerWidth(int column) const;
  void sectionResized();

  QTreeView& list_;
  const QAbstractItemModel& rows_;
  const QWidget* headerArea_;  // where the header's sections are dragged
  bool userWidths_ = false;
  bool mouseDown_ = false;  // on the header: a resize then is the user's
  bool fitting_ = false;    // a resize then is this object's own
  // By column, the advance of the widest row text fitted so far.
  std::vector<int> fittedAdvances_;
};
