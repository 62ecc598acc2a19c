#pragma once
// The application object: every event passes through notify(), so an exception that no
// handler caught ends here, is reported in one message box, and the program carries on.

#include <QApplication>
#include <functional>

namespace velmora {

class VelmoraApplication : public QApplication {
 public:
  VelmoraApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the general error report; set by the main window to use its language.
  std::function<void(const QString&)> errorReport;
  void reportError(const QString& text);
  int reportedErrors() const { return m_reported; }

  // The program's name and its help file beside it. No display name is set: the platform
  // would add it to every window's title ("Velmora — …"), and the main window's title is
  // "Velmora" alone.
  static void describeProgram();

 private:
  int m_reported = 0;
  bool m_reporting = false;
};

}  // namespace velmora
