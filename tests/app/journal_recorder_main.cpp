// A recording program for the journal's end-to-end test: the main window records from the
// instrument at the given device path at 120 readings a minute and prints every reading
// ("<x> <y>" with 17 digits) as soon as it is recorded, until it is killed.
#include <QAction>
#include <QSpinBox>
#include <QTimer>
#include <charconv>
#include <cstdio>

#include "app/main_window.h"
#include "device/serial_port.h"
#include "ui_common/velmora_application.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  velmora::VelmoraApplication app(argc, argv);
  velmora::MemorySettingsBackend store;
  velmora::TfmMain w(store, velmora::MainWindowOptions::with(false, 1033));
  w.messageHook = [](velmora::MessageKind, const QString&) {};
  w.serialPort().setCommPort(argv[1]);
  w.findChild<QSpinBox*>("seFlow")->setValue(120);
  w.findChild<QAction*>("miRecord")->setChecked(true);
  w.miRecordClick();
  std::size_t printed = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const auto& s = w.display().series();
    for (; printed < s.size(); ++printed) {
      char buf[80];
      char* p = std::to_chars(buf, buf + 32, s.x(printed), std::chars_format::general, 17).ptr;
      *p++ = ' ';
      p = std::to_chars(p, buf + 70, s.y(printed), std::chars_format::general, 17).ptr;
      *p++ = '\n';
      std::fwrite(buf, 1, static_cast<std::size_t>(p - buf), stdout);
    }
    std::fflush(stdout);
  });
  watch.start(10);
  return app.exec();
}
