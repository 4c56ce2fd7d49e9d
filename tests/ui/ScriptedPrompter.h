#pragma once

#include <QStringList>
#include <deque>

#include "ui/Prompter.h"

// Answers message boxes from a queue instead of showing them, and keeps
// what they said. A box without a queued answer gets its default button.
class ScriptedPrompter : public Prompter {
 public:
  struct Shown {
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
  };

  void setNextAnswer(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
  const std::vector<Shown>& shown() const { return shown_; }
  void reset() {
    answers_.clear();
    shown_.clear();
  }

  QMessageBox::StandardButton ask(QWidget*, const QString& caption, const QString& text,
                                  QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton defaultButton,
                                  QMessageBox::Icon) override {
    shown_.push_back({caption, text, buttons, defaultButton});
    if (answers_.empty()) return defaultButton;
    const QMessageBox::StandardButton answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

 private:
  std::deque<QMessageBox::StandardButton> answers_;
  std::vector<Shown> shown_;
};
