#pragma once
// The "Comparison calibration" window: the reference and its characterisation, the probes
// under test, the bath, the plan and the bench's uncertainty inputs (Set-up); every channel's
// stability and the run's progress (Run); each probe's results, "Write and verify", the
// as-left pass and the certificate drafts (Results).
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>

#include "comparison/comparison_results.h"
#include "comparison_ui/bench_controller.h"
#include "ui_common/report_document.h"
#include "ui_common/ui_helpers.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace velmora {

class AppContext;

class ComparisonWindow : public QWidget {
  Q_OBJECT
 public:
  ComparisonWindow(AppContext& app, QString journalPath, QWidget* parent = nullptr);
  ~ComparisonWindow() override;

  BenchController& controller() { return *m_controller; }
  // The set-up as the form shows it; nothing with the reason (a field that is not a number).
  std::optional<BenchSetup> setupFromForm(QString* why) const;
  void showSetup(const BenchSetup& s);

  void btStartClick();
  void btStopClick();
  void btReachedClick();
  void btReadFactorsClick();
  void btWriteClick();
  void btAsLeftClick();
  void btCertificatesClick();
  // An unfinished run in the journal: asks Resume / Set aside / Not now.
  void offerResume();
  // While a run is under way: asks whether to stop it (to quit the program, or to close this
  // window); Cancel and Escape keep it. True: nothing runs, or the user agreed.
  bool confirmStopRun(bool quitting);
  std::function<bool(const QString&)> stopQuestionHook;
  // Each probe's item, serial number and manufacturer for its certificate (taken from its
  // instrument's identity the first time certificates are made).
  std::map<int, comparison::ProbeItem>& probeItems() { return m_items; }

  // What "Write and verify" asks before anything is written: each probe's instrument (name,
  // port, serial number), the factors it holds and the new ones, why they may not be trusted,
  // and whether to write them (ticked where they are plausible).
  struct WriteChoice {
    int channel = -1;
    QString instrument, held, fresh, remarks;
    bool write = false;
  };
  std::function<bool(std::vector<WriteChoice>&)> writeConfirmHook;
  // "Set point reached" with the reference further than the tolerance from the set point.
  std::function<bool(const QString&)> captureAnywayHook;
  // Start with a reference past its certificate's due date: the reason (false in `ok`: none).
  std::function<QString(const QString&, bool* ok)> overdueReasonHook;

  // Tests and the guide's pictures answer the window's questions through these.
  std::function<void(MessageKind, const QString&)> messageHook;
  enum class ResumeChoice { Resume, SetAside, Later };
  std::function<ResumeChoice(const QString&)> resumeHook;
  std::function<bool(comparison::CertificateInfo&)> certificateFieldsHook;
  std::function<QString()> folderHook;
  // The signing key's passphrase (the question's text; false in `ok`: cancelled).
  std::function<QString(const QString&, bool* ok)> passphraseHook;
  // Writes the certificate drafts of every probe into `folder`: a PDF, a JSON file of
  // everything in it and a CSV of the points each, the three together or none. Returns the
  // PDF files written; the reason of a failure in `why`.
  QStringList writeCertificates(const QString& folder, const comparison::CertificateInfo& info, QString* why);
  ReportDocument certificateDocument(const comparison::CertificateInfo& info, const comparison::ProbeResult& probe) const;

  void retranslate();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildSetup(QWidget* page);
  void buildRun(QWidget* page);
  void buildResults(QWidget* page);
  void refreshChannels();
  void refreshStatus();
  void refreshResults();
  void updateButtons();
  void runFinished();
  void message(MessageKind kind, const QString& text);
  void recordSaved(const QStringList& files, const QString& error);
  void refreshPoints();
  void refreshReferenceStatus();
  bool askOverdueReason(BenchSetup& s);
  std::vector<WriteChoice> writeChoices() const;
  bool askWrite(std::vector<WriteChoice>& choices);
  QString phaseText() const;
  QString t(const char* id) const;

  AppContext& m_app;
  const Translator& m_tr;
  std::unique_ptr<BenchController> m_controller;
  QTabWidget* m_tabs = nullptr;
  QComboBox* m_reference = nullptr;
  QComboBox* m_referenceSource = nullptr;
  QLineEdit* m_probeFile = nullptr;
  QPushButton* m_browse = nullptr;
  QListWidget* m_underTest = nullptr;
  QComboBox* m_bathPort = nullptr;
  QSpinBox* m_bathBaud = nullptr;
  QLineEdit* m_setPoints = nullptr;
  QComboBox* m_order = nullptr;
  DecimalSpinBox* m_soak = nullptr;
  DecimalSpinBox* m_window = nullptr;
  QCheckBox* m_useSd = nullptr;
  DecimalSpinBox* m_sd = nullptr;
  QCheckBox* m_useDrift = nullptr;
  DecimalSpinBox* m_drift = nullptr;
  QCheckBox* m_usePtp = nullptr;
  DecimalSpinBox* m_ptp = nullptr;
  QCheckBox* m_useBand = nullptr;
  DecimalSpinBox* m_band = nullptr;
  DecimalSpinBox* m_bandMinutes = nullptr;
  QCheckBox* m_bathInLock = nullptr;
  QComboBox* m_captureKind = nullptr;
  DecimalSpinBox* m_capture = nullptr;
  DecimalSpinBox* m_maxWait = nullptr;
  DecimalSpinBox* m_reachedBand = nullptr;
  QComboBox* m_method = nullptr;
  DecimalSpinBox* m_refU = nullptr;
  DecimalSpinBox* m_refK = nullptr;
  DecimalSpinBox* m_bathStability = nullptr;
  DecimalSpinBox* m_bathUniformity = nullptr;
  DecimalSpinBox* m_resolution = nullptr;
  QLabel* m_phase = nullptr;
  QLabel* m_bathState = nullptr;
  QTableWidget* m_channels = nullptr;
  QPlainTextEdit* m_log = nullptr;
  QTableWidget* m_results = nullptr;
  QLineEdit* m_asLeftPoints = nullptr;
  QPushButton* m_start = nullptr;
  QPushButton* m_stop = nullptr;
  QPushButton* m_reached = nullptr;
  QPushButton* m_readFactors = nullptr;
  QPushButton* m_write = nullptr;
  QPushButton* m_asLeft = nullptr;
  QPushButton* m_certificates = nullptr;
  QList<QLabel*> m_labels;  // the form's labels, by their object names' text ids
  QTimer* m_refresh = nullptr;
  comparison::CertificateInfo m_info;
  std::map<int, comparison::ProbeItem> m_items;  // by channel; kept while the program runs
  std::string m_passphrase;  // only while the certificates are written
  std::map<int, QString> m_issued;  // by channel: the last certificate issued for this run (its path without extension)
  std::size_t m_logged = 0;  // lines of the run's record already in the log
  DecimalSpinBox* m_tolerance = nullptr;
  QCheckBox* m_stopOnMissed = nullptr;
  QCheckBox* m_stopRecording = nullptr;
  QTableWidget* m_points = nullptr;
  QLabel* m_referenceStatus = nullptr;
};

// The chart menu's "Comparison calibration…" and the offer to resume a run that was cut off,
// for the main window; the window itself is made when first opened.
class ComparisonBench : public QObject {
  Q_OBJECT
 public:
  ComparisonBench(AppContext& app, QString folder);
  ~ComparisonBench() override;
  ComparisonWindow* open();
  ComparisonWindow* window() const { return m_window; }
  // A run in the journal that did not reach its end is offered (the window opens to resume it):
  // this program's own, or one left by a program that is gone.
  void offerResume();
  // At start: a recording left by a program that did not end normally is offered first (its
  // instruments come back with it), then a cut-off run.
  void offerAtStart();
  // The run's journal: beside the recording journal, one per program.
  QString journalPath() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool adoptLeftover();

  AppContext& m_app;
  QString m_folder;
  QAction* m_action;
  QPointer<ComparisonWindow> m_window;
};

#ifdef VELMORA_HAVE_DCC
// The DCC schema the certificates are checked against: beside the installed program
// (share/velmora/dcc), or the project's copy; VELMORA_DCC_DIR names another folder.
QString dccSchemaPath();
// velmora --verify-certificate FILE.xml: the DCC's schema and signature; 0 valid, 1 not, with
// the line to print ("valid: signed by CN=…" or "invalid: why").
int verifyCertificateFile(const QString& path, std::string& line);
#endif

// Numbers typed as a list: "0; 50; 100" (";" or blanks between them, "," or "." as the
// decimal sign); nothing when one is not a number or none is given.
std::optional<std::vector<double>> parseSetPoints(const QString& text);

}  // namespace velmora
