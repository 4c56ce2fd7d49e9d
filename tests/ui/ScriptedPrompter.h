#pragma once

#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <vector>

#include "ui/Prompter.h"

// Answers message boxes and file dialogs from queues instead of showing
// them, keeps what they said, and records the URLs it was asked to open.
// A box without a queued answer gets its default button.
class ScriptedPrompter : public Prompter {
 public:
  struct Shown {
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
  };

  void setNextAnswer(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
  void setNextFileName(const QString& fileName) { fileNames_.push_back(fileName); }
  // Runs `work` while the next box is "open", as a user's modal box would
  // let timers, workers' results and other events run.
  void whileNextBoxIsOpen(std::function<void()> work) { whileOpen_ = std::move(work); }

  const std::vector<Shown>& shown() const { return shown_; }
  const std::vector<QUrl>& openedUrls() const { return openedUrls_; }
  void reset() {
    answers_.clear();
    fileNames_.clear();
    whileOpen_ = nullptr;
    shown_.clear();
    openedUrls_.clear();
  }

  QMessageBox::StandardButton ask(QWidget*, const QString& caption, const QString& text,
                                  QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton defaultButton,
                                  QMessageBox::Icon) override {
    shown_.push_back({caption, text, buttons, defaultButton});
    if (whileOpen_) std::exchange(whileOpen_, nullptr)();
    if (answers_.empty()) return defaultButton;
    const QMessageBox::StandardButton answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
    if (fileNames_.empty()) return {};
    const QString fileName = fileNames_.front();
    fileNames_.pop_front();
    return fileName;
  }

  void openUrl(const QUrl& url) override { openedUrls_.push_back(url); }

 private:
  std::deque<QMessageBox::StandardButton> answers_;
  std::deque<QString> fileNames_;
  std::function<void()> whileOpen_;
  std::vector<Shown> shown_;
  std::vector<QUrl> openedUrls_;
};
