#pragma once

#include <QListView>

#include "model/PaneText.h"

class FactorLinesModel;

// A factor pane: the lines of a text, one row each, of which only those on
// screen are ever laid out, so that a pane of a million lines is set at
// once and scrolls smoothly. Lines can be selected and copied (Ctrl+C, or
// the context menu) like the text they are.
class FactorPane : public QListView {
  Q_OBJECT

 public:
  explicit FactorPane(QWidget* parent = nullptr);

  // Shows `text` and its end. The pane keeps its own hold of the text, so
  // that it shows and copies what it was given until the next call.
  void showText(PaneText text);
  // The selected lines, each followed by a line feed.
  QString selectedText() const;
  // Every line, each followed by a line feed.
  QString text() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void copySelection() const;

  FactorLinesModel* lines_;
};
