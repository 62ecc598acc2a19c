#include "ui_common/velmora_application.h"

#include <QDir>
#include <QMessageBox>
#include <exception>
#include <new>

namespace velmora {

VelmoraApplication::VelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool VelmoraApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::bad_alloc&) {
    reportError("Out of memory");
  } catch (const std::exception& e) {
    reportError(QString::fromUtf8(e.what()));
  } catch (...) {
    reportError("Unknown error");
  }
  return false;
}

void VelmoraApplication::reportError(const QString& text) {
  ++m_reported;
  if (m_reporting) return;  // a fault while the report is open is not reported twice
  m_reporting = true;
  if (errorReport)
    errorReport(text);
  else
    QMessageBox::critical(activeWindow(), "Error", text);
  m_reporting = false;
}

void VelmoraApplication::describeProgram() {
  QCoreApplication::setApplicationName("Velmora");
  QGuiApplication::setDesktopFileName("velmora");
  if (auto* app = QCoreApplication::instance())
    app->setProperty("helpFile", QDir(QCoreApplication::applicationDirPath()).filePath("Velmora.html"));
}

}  // namespace velmora
