// Velmora: the companion program of the QM-515 platinum resistance thermometer.
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <string>
#include <memory>

#include "app/ini_settings_backend.h"
#ifdef _WIN32
#include "platform/registry_settings_backend.h"
#endif
#include "app/guide_pictures.h"
#include "app/main_window.h"
#include "files/journal_keeper.h"
#include "comparison_ui/comparison_window.h"
#include "files/csv_file.h"
#include "metrology/probe.h"
#include "ui_common/ui_helpers.h"
#include "ui_common/velmora_application.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStandardPaths>
#ifdef VELMORA_HAVE_MQTT
#include <QSysInfo>

#include "app/settings_store.h"
#include "network/network_settings.h"
#include "network_ui/lab_network.h"
#include "network_ui/lab_view.h"
#include "network_ui/network_dialog.h"
#include "platform/platform_info.h"
#endif

namespace {
// velmora --help / --version: answered before any window (no display needed).
bool answeredHelpOrVersion(int argc, char** argv) {
  bool asked = false;
  for (int i = 1; i < argc; ++i)
    asked = asked || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
            std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0;
  if (!asked) return false;
  QCoreApplication core(argc, argv);
  QCoreApplication::setApplicationName("velmora");
  QCoreApplication::setApplicationVersion(VELMORA_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "The companion of the QM-515 platinum-resistance thermometer: readings from the instrument or\n"
      "the demo thermometer, the chart and the list, files, the calibration window, several\n"
      "instruments, the comparison bench and the lab network.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({"demo", "Start with the demo thermometer; with N, N demo instruments (1 to 16).", "N"});
  parser.addOption({"export-csv", "Convert a data file or a recording journal IN to CSV OUT, no window (exit 0, 1, 2).", "IN OUT"});
  parser.addOption({"probe-temperature", "Print a probe file's temperature (°C) for a resistance R.", "FILE R"});
  parser.addOption({"probe-resistance", "Print a probe file's resistance (ohm) for a temperature T.", "FILE T"});
  parser.addOption({"lab-view", "Show the lab view of the broker at URL alone.", "URL"});
#ifdef VELMORA_HAVE_DCC
  parser.addOption({"verify-certificate", "Check a digital calibration certificate's schema and signature (exit 0 valid, 1 not).", "FILE"});
#endif
  parser.addOption({"pictures", "Take the user guide's pictures into DIR and end.", "DIR"});
  parser.process(core);  // prints the help or the version and ends with 0
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (answeredHelpOrVersion(argc, argv)) return 0;
  // velmora --probe-temperature FILE R / --probe-resistance FILE T: a probe's conversion.
  for (int i = 1; i < argc; ++i) {
    const bool temperature = std::strcmp(argv[i], "--probe-temperature") == 0;
    if (!temperature && std::strcmp(argv[i], "--probe-resistance") != 0) continue;
    if (i + 2 >= argc) {
      std::fprintf(stderr, "usage: velmora %s FILE %s\n", argv[i], temperature ? "R" : "T");
      return 2;
    }
    std::string out, error, note;
    const int status = velmora::metrology::probeCommand(temperature, argv[i + 1], argv[i + 2], out, error, &note);
    if (status == 0) {
      std::printf("%s\n", out.c_str());
      if (!note.empty()) std::fprintf(stderr, "velmora: %s\n", note.c_str());
    } else
      std::fprintf(stderr, "velmora: %s\n", error.c_str());
    return status;
  }
#ifdef VELMORA_HAVE_DCC
  // velmora --verify-certificate FILE.xml: a DCC's schema and signature, no window.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--verify-certificate") != 0) continue;
    if (i + 1 >= argc) {
      std::fprintf(stderr, "usage: velmora --verify-certificate FILE.xml\n");
      return 2;
    }
    QCoreApplication core(argc, argv);
    std::string line;
    const int status = velmora::verifyCertificateFile(QString::fromLocal8Bit(argv[i + 1]), line);
    std::printf("%s\n", line.c_str());
    return status;
  }
#endif
  // velmora --export-csv IN OUT: converts a data file or a recording journal, no window.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--export-csv") != 0) continue;
    if (i + 2 >= argc) {
      std::fprintf(stderr, "usage: velmora --export-csv IN OUT\n");
      return 2;
    }
    std::string error;
    if (!velmora::exportCsvFile(argv[i + 1], argv[i + 2], error)) {
      std::fprintf(stderr, "velmora: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  Q_INIT_RESOURCE(velmora);
  velmora::VelmoraApplication app(argc, argv);
  velmora::MainWindowOptions options;
  // --demo [N]: the demo thermometer, or N demo instruments (at most 16) in one simulated bath.
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--demo") == 0) {
      options.demo = true;
      // A count follows when the next word starts like a number ("0", "-3", "17" are refused).
      const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
      if (i + 1 < argc && (digit(argv[i + 1][0]) || (argv[i + 1][0] == '-' && digit(argv[i + 1][1])))) {
        char* end = nullptr;
        const long n = std::strtol(argv[i + 1], &end, 10);
        if (*end != '\0' || n < 1 || n > 16) {
          std::fprintf(stderr, "velmora: --demo N takes 1 to 16 instruments\n");
          return 2;
        }
        options.demoCount = static_cast<int>(n);
        ++i;
      }
    }

  velmora::VelmoraApplication::describeProgram();

#ifdef _WIN32
  velmora::RegistrySettingsBackend store;
#else
  velmora::IniSettingsBackend store;
#endif
#ifdef VELMORA_HAVE_MQTT
  // The lab network keeps its password file and outboxes beside the journal.
  const QString networkFolder =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/KORVAN/Velmora";
  // --lab-view URL: the lab view alone, with the lab network's user, password and TLS files.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--lab-view") != 0) continue;
    if (i + 1 >= argc) {
      std::fprintf(stderr, "usage: velmora --lab-view URL\n");
      return 2;
    }
    velmora::MqttSettings settings = velmora::loadNetworkSettings(store, QSysInfo::machineHostName().toStdString());
    settings.url = argv[i + 1];
    settings.password = velmora::loadNetworkPassword((networkFolder + "/network-password").toStdString());
    velmora::Translator tr;
    const auto main = velmora::loadMainSettings(store, velmora::userDefaultLanguageId());
    tr.setLanguage(main && main->LangID == 1 ? velmora::Language::Russian : velmora::Language::English);
    velmora::LabView view(settings, tr);
    view.show();
    return app.exec();
  }
#endif
  velmora::TfmMain fmMain(store, options);
#ifdef VELMORA_HAVE_MQTT
  auto* network = new velmora::LabNetwork(fmMain.context(), store, networkFolder);
#endif
  // The comparison bench keeps its run's journal beside the recording journal.
  auto* bench = new velmora::ComparisonBench(fmMain.context(), fmMain.journal().folder());
  app.errorReport = [&fmMain](const QString& text) {
    velmora::showMessage(fmMain.isVisible() ? &fmMain : nullptr, fmMain.translator(), velmora::MessageKind::Error,
                         text);
  };
  fmMain.show();
  // --pictures DIR: the guide's pictures, then the program ends (scripts/guide-pictures).
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--pictures") == 0) {
      std::function<QWidget*(QWidget*)> dialog;
#ifdef VELMORA_HAVE_MQTT
      dialog = [network, &fmMain](QWidget* parent) -> QWidget* {
        auto* d = new velmora::NetworkDialog(network->settings(), fmMain.translator(), parent);
        return d;
      };
#endif
      velmora::takeGuidePictures(fmMain, *bench, QString::fromLocal8Bit(argv[i + 1]), dialog);
      return app.exec();
    }
  // Closing the main window ends the program, whatever other windows are open.
  QObject::connect(&fmMain, &velmora::TfmMain::closedNormally, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  // A journal left by a run that did not end normally is offered once the window is up, and
  // after it (its instruments are back then) a comparison run that was cut off.
  QTimer::singleShot(0, bench, [bench] { bench->offerAtStart(); });
  return app.exec();
}
