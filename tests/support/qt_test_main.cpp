// GoogleTest main for tests that need the Qt application object; headless by default. The
// recording journal goes to a folder of this test process's own, removed at the end.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "ui_common/velmora_application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  Q_INIT_RESOURCE(velmora);
  velmora::VelmoraApplication app(argc, argv);
  QTemporaryDir journals;
  if (qEnvironmentVariableIsEmpty("VELMORA_JOURNAL_DIR")) qputenv("VELMORA_JOURNAL_DIR", journals.path().toLocal8Bit());
  return RUN_ALL_TESTS();
}
