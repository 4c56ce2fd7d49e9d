#pragma once

#include <QDialog>

class Prompter;
class QPushButton;

// The About box: name and version, the maker's mail address and the home
// page as link buttons, and how the main window is used.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(Prompter& prompter, QWidget* parent = nullptr);

 private:
  QPushButton* makeLink(const char* name, const QString& text);
  void openMail();
  void openHomePage();

  Prompter& prompter_;
  QPushButton* mailLink_;
  QPushButton* homePageLink_;
};
