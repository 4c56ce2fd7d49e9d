#pragma once

#include <QDialog>

#include "model/Machine.h"

class Prompter;
class QLineEdit;

// The Range dialog: the two bounds of one queued range, typed in billions.
// It is given the range and, once left with OK, gives the range entered;
// Cancel leaves the caller's range as it was.
class CEditrangeDlg : public QDialog {
  Q_OBJECT

 public:
  CEditrangeDlg(const Range& range, Prompter& prompter, QWidget* parent = nullptr);

  // Closes only on bounds that make a range; otherwise says why and stays.
  void accept() override;
  const Range& range() const { return range_; }

 private:
  void refuse(const QString& text);

  Prompter& prompter_;
  QLineEdit* from_;
  QLineEdit* to_;
  Range range_;
};
