#include "ui/Prompter.h"

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
