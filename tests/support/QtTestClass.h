#pragma once

#include <QTest>

// The QtTest classes of an area are built into one executable, which runs
// the class its first argument names (QtTestMain.cpp), each class in a
// process of its own as if it were the program. QUILLSTRAND_QTEST_MAIN
// takes the place of QTEST_MAIN, whose main would be one of many there;
// like it, it makes the application that the area links: a QApplication
// for the window's tests, a QCoreApplication for those of Qt Core alone.
#ifdef QT_WIDGETS_LIB
#include <QApplication>
using QtTestApplication = QApplication;
#else
#include <QCoreApplication>
using QtTestApplication = QCoreApplication;
#endif

using QtTestRun = int (*)(int argc, char* argv[]);

// Registers `run` as the class named `name`; true, for a static initialiser.
bool AddQtTestClass(const char* name, QtTestRun run);

#define QUILLSTRAND_QTEST_MAIN(TestObject)                                          \
  namespace {                                                                       \
  int Run##TestObject(int argc, char* argv[]) {                                     \
    QtTestApplication app(argc, argv);                                              \
    app.setAttribute(Qt::AA_Use96Dpi, true);                                        \
    TestObject test;                                                                \
    return QTest::qExec(&test, argc, argv);                                         \
  }                                                                                 \
  const bool registered##TestObject = AddQtTestClass(#TestObject, Run##TestObject); \
  }
