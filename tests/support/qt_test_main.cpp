// GoogleTest main for tests that need the Qt application object; headless by default.
#include <gtest/gtest.h>

#include "ui_common/velmora_application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  Q_INIT_RESOURCE(velmora);
  velmora::VelmoraApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
