#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// Every message box of the program goes through a Prompter, so that tests
// can answer them from a script instead of blocking on a modal box.
class Prompter {
 public:
  virtual ~Prompter() = default;

  // Shows `text` under `caption` with `buttons`; gives the button chosen.
  virtual QMessageBox::StandardButton ask(
      QWidget* parent, const QString& caption, const QString& text,
      QMessageBox::StandardButtons buttons = QMessageBox::Ok,
      QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
      QMessageBox::Icon icon = QMessageBox::NoIcon) = 0;

  // Tells of a failure the user must know about, with an OK button.
  void warn(QWidget* parent, const QString& text);
};

// The real thing: modal message boxes.
class MessageBoxPrompter : public Prompter {
 public:
  QMessageBox::StandardButton ask(QWidget* parent, const QString& caption, const QString& text,
                                  QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton defaultButton,
                                  QMessageBox::Icon icon) override;
};
