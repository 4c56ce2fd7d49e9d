#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

// Queues `steps` for the modal dialog that the next click opens: they run
// inside its exec(), as a user's would. A dialog that the steps leave open
// is cancelled, so that a failing step cannot leave the test waiting on it.
inline void WhenNextDialogOpens(std::function<void(QDialog&)> steps) {
  QTimer::singleShot(0, [steps = std::move(steps)] {
    QPointer<QDialog> dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    steps(*dialog);
    if (dialog && dialog->isVisible()) dialog->reject();
  });
}

// Clicks the button or check box named `name` in `parent`, as the mouse
// would: near its left end, where a check box has its mark.
inline void Click(const QWidget& parent, const char* name) {
  auto* button = parent.findChild<QAbstractButton*>(name);
  QVERIFY2(button, name);
  QTest::mouseClick(button, Qt::LeftButton, {},
                    QPoint(std::min(8, button->width() / 2), button->height() / 2));
}
