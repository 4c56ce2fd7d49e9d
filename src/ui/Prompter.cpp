#include "ui/Prompter.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

#include "model/Constants.h"

void Prompter::warn(QWidget* parent, const QString& text) {
  ask(parent, QString::fromLatin1(kAppName), text, QMessageBox::Ok, QMessageBox::Ok,
      QMessageBox::Warning);
}

QMessageBox::StandardButton MessageBoxPrompter::ask(QWidget* parent, const QString& caption,
                                                    const QString& text,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton,
                                                    QMessageBox::Icon icon) {
  QMessageBox box(icon, caption, text, buttons, parent);
  box.setDefaultButton(defaultButton);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString MessageBoxPrompter::openFileName(QWidget* parent, const QString& caption,
                                         const QString& start, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, start, filter);
}

void MessageBoxPrompter::openUrl(const QUrl& url) { QDesktopServices::openUrl(url); }
