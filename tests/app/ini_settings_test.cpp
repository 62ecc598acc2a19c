#include "app/ini_settings_backend.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/settings_store.h"
#include "device/serial_port.h"

using namespace velmora;

TEST(IniSettings, KeepsKeysAndValueTypes) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Velmora.ini");
  {
    IniSettingsBackend store(path);
    EXPECT_FALSE(store.keyExists(kMainKey));
    MainSettings m;
    m.Ystart = -175.25;
    m.Flow = 90;
    m.LangID = 1;
    saveMainSettings(store, m);
    writeText(store, kPortSettingsKey, "CommPort", "/dev/pts/7");
    store.sync();
  }
  IniSettingsBackend store(path);
  EXPECT_TRUE(store.keyExists(kMainKey));
  EXPECT_TRUE(store.keyExists(kPortSettingsKey));
  auto m = loadMainSettings(store, 1033);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->Ystart, -175.25);  // 8 binary bytes, exactly
  EXPECT_EQ(m->Flow, 90);
  EXPECT_EQ(m->LangID, 1);
  EXPECT_EQ(readText(store, kPortSettingsKey, "CommPort"), "/dev/pts/7");
  // A hand-edited file with a text where a number belongs falls back to the default.
  writeText(store, kMainKey, "Width", "huge");
  writeText(store, kMainKey, "Yrange", "350");
  EXPECT_EQ(loadMainSettings(store, 1033)->Width, 800);
  EXPECT_EQ(loadMainSettings(store, 1033)->Yrange, 350);
}

TEST(SerialPortObject, CharacterTimesWriteTimeOutAndStoredSettings) {
  TSerialPort port([] { return std::unique_ptr<QIODevice>(); });
  EXPECT_EQ(port.CommPort, "COM2");
  EXPECT_EQ(port.BaudRate(), 9600);
  port.setBaudRate(4800);
  EXPECT_EQ(port.RTOCharDelayTime, 2300);
  EXPECT_EQ(port.WTOCharDelayTime, 2300);
  EXPECT_DOUBLE_EQ(port.writeTimeoutMs(2), 254.6);
  port.setBaudRate(5000);
  EXPECT_EQ(port.WTOCharDelayTime, 2300);
  port.setBaudRate(100);
  EXPECT_EQ(port.WTOCharDelayTime, 1100);

  MemorySettingsBackend store;
  store.createKey(kPortSettingsKey);
  port.LoadSettings(store, kPortSettingsKey);
  EXPECT_EQ(port.CommPort, "COM2");
  EXPECT_EQ(port.ErrorNoise, 2);
  EXPECT_FALSE(port.Active());
  // A closed port refuses nothing and sends nothing.
  EXPECT_TRUE(port.SendText("d\r"));
}

TEST(SerialPortObject, StoredActiveReopensThePort) {
  auto demo = [] { return std::unique_ptr<QIODevice>(new QBuffer()); };
  MemorySettingsBackend store;
  {
    TSerialPort port(demo);
    port.CommPort = "DEMO";
    ASSERT_TRUE(port.setActive(true));
    port.SaveSettings(store, kPortSettingsKey);
  }
  EXPECT_EQ(readText(store, kPortSettingsKey, "Active"), "1");
  EXPECT_EQ(readText(store, kPortSettingsKey, "XONChar"), std::string(1, '\x11'));
  TSerialPort port(demo);
  port.LoadSettings(store, kPortSettingsKey);
  EXPECT_EQ(port.CommPort, "DEMO");
  EXPECT_TRUE(port.Active());
  port.setActive(false);
  EXPECT_FALSE(port.Active());
}
