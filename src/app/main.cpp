// Velmora: the companion program of the QM-515 platinum resistance thermometer.
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <cstring>
#include <memory>

#include "app/ini_settings_backend.h"
#ifdef _WIN32
#include "platform/registry_settings_backend.h"
#endif
#include "app/main_window.h"
#include "ui_common/ui_helpers.h"
#include "ui_common/velmora_application.h"

int main(int argc, char** argv) {
  Q_INIT_RESOURCE(velmora);
  velmora::VelmoraApplication app(argc, argv);
  velmora::MainWindowOptions options;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--demo") == 0) options.demo = true;

  velmora::VelmoraApplication::describeProgram();

#ifdef _WIN32
  velmora::RegistrySettingsBackend store;
#else
  velmora::IniSettingsBackend store;
#endif
  velmora::TfmMain fmMain(store, options);
  app.errorReport = [&fmMain](const QString& text) {
    velmora::showMessage(fmMain.isVisible() ? &fmMain : nullptr, fmMain.translator(), velmora::MessageKind::Error,
                         text);
  };
  fmMain.show();
  // A journal left by a run that did not end normally is offered once the window is up.
  QTimer::singleShot(0, &fmMain, [&fmMain] { fmMain.journal().offerRestore(); });
  return app.exec();
}
