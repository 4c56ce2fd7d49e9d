#pragma once

#include <QMessageBox>
#include <QString>

class QUrl;
class QWidget;

// Every message box, file dialog and launch of a URL goes through a
// Prompter, so that tests can answer from a script and record what would
// have been opened instead of blocking on a modal box or starting a browser.
class Prompter {
 public:
  virtual ~Prompter() = default;

  // Shows `text` under `caption` with `buttons`; gives the button chosen.
  virtual QMessageBox::StandardButton ask(
      QWidget* parent, const QString& caption, const QString& text,
      QMessageBox::StandardButtons buttons = QMessageBox::Ok,
      QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
      QMessageBox::Icon icon = QMessageBox::NoIcon) = 0;

  // Asks for an existing file, starting at `start`, among the files that
  // `filter` lets through ("Status files (*.dat);;All files (*)"). Empty
  // when cancelled.
  virtual QString openFileName(QWidget* parent, const QString& caption, const QString& start,
                               const QString& filter) = 0;

  // Opens `url` with the user's default handler (browser, mail program).
  // Whether that worked is not reported: nothing could be done about it.
  virtual void openUrl(const QUrl& url) = 0;

  // Tells of a failure the user must know about, with an OK button.
  void warn(QWidget* parent, const QString& text);
};

// The real thing: modal message boxes, the platform's file dialog and its
// URL handlers.
class MessageBoxPrompter : public Prompter {
 public:
  QMessageBox::StandardButton ask(QWidget* parent, const QString& caption, const QString& text,
                                  QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton defaultButton,
                                  QMessageBox::Icon icon) override;
  QString openFileName(QWidget* parent, const QString& caption, const QString& start,
                       const QString& filter) override;
  void openUrl(const QUrl& url) override;
};
