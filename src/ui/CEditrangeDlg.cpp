#include "ui/CEditrangeDlg.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

#include "model/Billions.h"
#include "ui/DialogUnits.h"
#include "ui/Prompter.h"

namespace {

std::optional<uint64_t> Bound(const QLineEdit* edit) {
  return ParseBillions(edit->text().toStdString());
}

}  // namespace

CEditrangeDlg::CEditrangeDlg(const Range& range, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      prompter_(prompter),
      from_(new QLineEdit(QString::fromStdString(BillionsText(range.Pmin)), this)),
      to_(new QLineEdit(QString::fromStdString(BillionsText(range.Pmax)), this)),
      range_(range) {
  setObjectName("rangeDialog");
  setWindowTitle("Range");
  from_->setObjectName("fromEdit");
  to_->setObjectName("toEdit");
  const DialogUnits units(font());
  from_->setFixedWidth(units.x(116));
  to_->setFixedWidth(units.x(116));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("okButton");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("cancelButton");
  for (QPushButton* button : {ok, cancel}) button->setFixedSize(units.size(50, 14));
  connect(ok, &QPushButton::clicked, this, &CEditrangeDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CEditrangeDlg::reject);

  // The bounds stand level with Cancel, their captions beside OK.
  auto* bounds = new QGridLayout;
  bounds->setHorizontalSpacing(units.x(6));
  bounds->setVerticalSpacing(units.y(2));
  bounds->addWidget(new QLabel("From (in billions)", this), 0, 0);
  bounds->addWidget(new QLabel("To (in billions)", this), 0, 2);
  bounds->addWidget(from_, 1, 0);
  bounds->addWidget(new QLabel("-", this), 1, 1);
  bounds->addWidget(to_, 1, 2);
  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(units.y(4));
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(units.x(7), units.y(6), units.x(7), units.y(7));
  layout->setSpacing(units.x(12));
  layout->addLayout(bounds);
  layout->setAlignment(bounds, Qt::AlignBottom);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setTabOrder(from_, to_);
  setTabOrder(to_, ok);
  setTabOrder(ok, cancel);
  from_->setFocus();
  from_->selectAll();
}

void CEditrangeDlg::accept() {
  const std::optional<uint64_t> from = Bound(from_);
  const std::optional<uint64_t> to = Bound(to_);
  if (!from || !to)
    return refuse(
        QString("pmin and pmax must be whole numbers of billions up to %1").arg(kMaxBillions));
  if (*from > *to) return refuse("pmin <= pmax");
  if (*from == 0) return refuse("pmin = 0");
  range_ = {*from, *to};
  QDialog::accept();
}

void CEditrangeDlg::refuse(const QString& text) {
  prompter_.ask(this, "Error", text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Warning);
}
