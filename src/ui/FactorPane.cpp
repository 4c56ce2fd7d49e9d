#include "ui/FactorPane.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

#include "session/FactorLinesModel.h"

FactorPane::FactorPane(QWidget* parent) : QListView(parent), lines_(new FactorLinesModel(this)) {
  setModel(lines_);
  setUniformItemSizes(true);  // what makes a long list cost nothing per line
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void FactorPane::showText(PaneText text) {
  lines_->setText(std::move(text));
  scrollToBottom();
}

QString FactorPane::selectedText() const {
  std::vector<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
  return lines_->linesText(std::move(rows));
}

QString FactorPane::text() const {
  std::vector<int> rows(static_cast<size_t>(lines_->rowCount()));
  for (size_t row = 0; row < rows.size(); ++row) rows[row] = static_cast<int>(row);
  return lines_->linesText(std::move(rows));
}

void FactorPane::copySelection() const {
  if (selectionModel()->hasSelection()) QGuiApplication::clipboard()->setText(selectedText());
}

void FactorPane::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    copySelection();
    return;
  }
  QListView::keyPressEvent(event);
}

void FactorPane::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(tr("&Copy"), this, &FactorPane::copySelection);
  copy->setEnabled(selectionModel()->hasSelection());
  menu.addAction(tr("Select &all"), this, &QAbstractItemView::selectAll);
  menu.exec(event->globalPos());
}
