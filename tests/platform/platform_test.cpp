#include "platform/platform_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/settings_store.h"

#ifdef _WIN32
#include "platform/registry_settings_backend.h"
#endif

using namespace velmora;

TEST(Platform, VersionTextAndUserLanguage) {
  const std::string os = osVersionText();
  ASSERT_FALSE(os.empty());
  EXPECT_EQ(os.substr(0, 3), "OS:");
  EXPECT_GE(std::count(os.begin(), os.end(), ':'), 5);
  const int lang = userDefaultLanguageId();
  EXPECT_GT(lang, 0);
#ifndef _WIN32
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  EXPECT_EQ(userDefaultLanguageId(), 1049);
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(userDefaultLanguageId(), 1033);
  unsetenv("LC_ALL");
#endif
}

#ifdef _WIN32
namespace {
// The registry under a key of the test's own, removed afterwards.
struct Registry : ::testing::Test {
  RegistrySettingsBackend store{"Software\\VelmoraTests\\"};
  void TearDown() override { store.removeTree("Software"); }
};
}  // namespace

TEST_F(Registry, ValueTypesRoundTrip) {
  EXPECT_FALSE(store.keyExists(kMainKey));
  writeDword(store, kMainKey, "Flow", 120);
  writeDouble(store, kMainKey, "Yrange", -12.625);
  writeText(store, kPortSettingsKey, "CommPort", "COM3");
  EXPECT_TRUE(store.keyExists(kMainKey));
  EXPECT_EQ(readDword(store, kMainKey, "Flow"), 120u);
  EXPECT_EQ(readDouble(store, kMainKey, "Yrange"), -12.625);
  EXPECT_EQ(readText(store, kPortSettingsKey, "CommPort"), "COM3");
  // The raw types: REG_DWORD, 8-byte REG_BINARY, REG_SZ.
  EXPECT_TRUE(std::holds_alternative<std::uint32_t>(*store.read(kMainKey, "Flow")));
  const auto binary = store.read(kMainKey, "Yrange");
  ASSERT_TRUE(std::holds_alternative<std::vector<std::uint8_t>>(*binary));
  EXPECT_EQ(std::get<std::vector<std::uint8_t>>(*binary).size(), 8u);
  EXPECT_TRUE(std::holds_alternative<std::string>(*store.read(kPortSettingsKey, "CommPort")));
}

TEST_F(Registry, CyrillicTextAndWrongTypedValues) {
  const std::string cyrillic = "\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82 \xE2\x84\x96" "1";  // "Порт №1"
  writeText(store, kPortSettingsKey, "CommPort", cyrillic);
  EXPECT_EQ(readText(store, kPortSettingsKey, "CommPort"), cyrillic);
  // A text where a number belongs, and a DWORD where a double belongs: defaults.
  writeText(store, kMainKey, "Flow", "fast");
  writeDword(store, kMainKey, "Yrange", 7);
  writeDword(store, kMainKey, "LangID", 1);
  const auto s = loadMainSettings(store, 1033);
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->Flow, 60);
  EXPECT_EQ(s->Yrange, 350);
  EXPECT_EQ(s->LangID, 1);
  // The user's language decides when LangID is missing.
  RegistrySettingsBackend other{"Software\\VelmoraTests\\Other\\"};
  writeDword(other, kMainKey, "Flow", 10);
  EXPECT_EQ(loadMainSettings(other, 1049)->LangID, 1);
  EXPECT_EQ(loadMainSettings(other, 1033)->LangID, 2);
}

TEST_F(Registry, ToolbarLayoutRoundTrip) {
  ToolbarLayout l;
  l.Visible = true;
  l.DockedTo = "LeftDock";
  l.LastDock = "LeftDock";
  l.DockPos = 17;
  saveToolbarLayout(store, "TBToolbar", l);
  const auto back = loadToolbarLayout(store, "TBToolbar");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->DockedTo, "LeftDock");
  EXPECT_EQ(back->DockPos, 17);
  EXPECT_TRUE(back->Visible);
}
#endif
