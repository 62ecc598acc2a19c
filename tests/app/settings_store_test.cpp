#include "app/settings_store.h"

#include <gtest/gtest.h>

#include "ui_common/translations.h"

using namespace velmora;

TEST(MainSettings, NothingIsAppliedWithoutTheMainKey) {
  MemorySettingsBackend store;
  EXPECT_FALSE(loadMainSettings(store, 1049).has_value());
}

TEST(MainSettings, RoundTripWithClampsAndDefaults) {
  MemorySettingsBackend store;
  MainSettings m;
  m.LangID = 1;
  m.Width = 1024;
  m.Height = 700;
  m.Top = -20;
  m.Left = 30;
  m.ChartVisible = false;
  m.TuneVisible = true;
  m.Flow = 7;
  m.Ystart = -175;
  m.Yrange = 0.5;
  m.Xrange = 14;
  m.Catch = true;
  m.AutoY = true;
  m.AutoX = false;
  m.CalcMethod = 2;
  m.USB = true;
  saveMainSettings(store, m);
  auto back = loadMainSettings(store, 1033);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->LangID, 1);
  EXPECT_EQ(back->Width, 1024);
  EXPECT_EQ(back->Top, -20);
  EXPECT_FALSE(back->ChartVisible);
  EXPECT_TRUE(back->TuneVisible);
  EXPECT_EQ(back->Flow, 7);
  EXPECT_EQ(back->Ystart, -175);
  EXPECT_EQ(back->Yrange, 0.5);
  EXPECT_EQ(back->Xrange, 14);
  EXPECT_TRUE(back->Catch);
  EXPECT_EQ(back->AutoY, true);
  EXPECT_EQ(back->AutoX, false);
  EXPECT_EQ(back->CalcMethod, 2);
  EXPECT_EQ(back->USB, true);

  writeDword(store, kMainKey, "Flow", 0);
  EXPECT_EQ(loadMainSettings(store, 0)->Flow, 1);
  writeDword(store, kMainKey, "Flow", 500);
  EXPECT_EQ(loadMainSettings(store, 0)->Flow, 120);
}

TEST(MainSettings, MissingValuesTakeTheirDefaults) {
  MemorySettingsBackend store;
  store.createKey(kMainKey);
  auto ru = loadMainSettings(store, 1049);
  ASSERT_TRUE(ru.has_value());
  EXPECT_EQ(ru->LangID, 1);  // Russian user language
  EXPECT_EQ(loadMainSettings(store, 1033)->LangID, 2);
  EXPECT_EQ(ru->Width, 800);
  EXPECT_EQ(ru->Height, 600);
  EXPECT_EQ(ru->Xrange, 60);
  EXPECT_EQ(ru->Yrange, 350);
  EXPECT_TRUE(ru->ChartVisible);
  EXPECT_FALSE(ru->AutoY.has_value());
  EXPECT_FALSE(ru->USB.has_value());
  // Every other value of the table.
  EXPECT_EQ(ru->Top, 0);
  EXPECT_EQ(ru->Left, 0);
  EXPECT_FALSE(ru->TuneVisible);
  EXPECT_EQ(ru->Flow, 60);
  EXPECT_EQ(ru->Ystart, 0);
  EXPECT_FALSE(ru->Catch);
  EXPECT_FALSE(ru->AutoX.has_value());
  EXPECT_EQ(ru->CalcMethod, 0);
}

TEST(MainSettings, AStoredZeroRangeFallsBackToItsDefault) {
  MemorySettingsBackend store;
  store.createKey(kMainKey);
  writeDouble(store, kMainKey, "Yrange", 0);
  writeDouble(store, kMainKey, "Xrange", 0.2);  // shows as "0" in its box
  writeDouble(store, kMainKey, "Ystart", 0);    // a zero start is a start like any other
  auto s = loadMainSettings(store, 1033);
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->Yrange, 350);
  EXPECT_EQ(s->Xrange, 60);
  EXPECT_EQ(s->Ystart, 0);
  writeDouble(store, kMainKey, "Xrange", -5);  // a negative range is taken by its size later
  EXPECT_EQ(loadMainSettings(store, 1033)->Xrange, -5);
}

TEST(MainSettings, WrongTypesAndOutOfRangeValuesFallBackToDefaults) {
  MemorySettingsBackend store;
  writeText(store, kMainKey, "Width", "wide");
  writeDword(store, kMainKey, "Height", 0);
  writeText(store, kMainKey, "Ystart", "12");               // a double must be 8 binary bytes
  store.write(kMainKey, "Yrange", std::vector<std::uint8_t>{1, 2, 3});
  writeDouble(store, kMainKey, "Xrange", std::numeric_limits<double>::quiet_NaN());
  writeDword(store, kMainKey, "LangID", 7);
  writeDword(store, kMainKey, "CalcMethod", 9);
  store.write(kMainKey, "Catch", std::vector<std::uint8_t>{1});
  writeText(store, kMainKey, "Flow", "45");  // an INI file keeps DWORDs as decimal text
  auto m = loadMainSettings(store, 1033);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->Width, 800);
  EXPECT_EQ(m->Height, 600);
  EXPECT_EQ(m->Ystart, 0);
  EXPECT_EQ(m->Yrange, 350);
  EXPECT_EQ(m->Xrange, 60);
  EXPECT_EQ(m->LangID, 2);
  EXPECT_EQ(m->CalcMethod, 0);
  EXPECT_FALSE(m->Catch);
  EXPECT_EQ(m->Flow, 45);
}

TEST(ToolbarLayout, RoundTripAndRevision) {
  MemorySettingsBackend store;
  EXPECT_FALSE(loadToolbarLayout(store, "TBToolbar").has_value());
  ToolbarLayout l;
  l.DockedTo = "+";
  l.LastDock = "LeftDock";
  l.FloatLeft = 300;
  l.FloatTop = -40;
  l.Visible = false;
  saveToolbarLayout(store, "TBToolbar", l);
  auto back = loadToolbarLayout(store, "TBToolbar");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->DockedTo, "+");
  EXPECT_EQ(back->LastDock, "LeftDock");
  EXPECT_EQ(back->FloatLeft, 300);
  EXPECT_EQ(back->FloatTop, -40);
  EXPECT_FALSE(back->Visible);
  writeDword(store, std::string(kToolbarsKey) + "\\TBToolbar", "Rev", 1999);
  EXPECT_FALSE(loadToolbarLayout(store, "TBToolbar").has_value());
  writeDword(store, std::string(kToolbarsKey) + "\\TBToolbar", "Rev", 2000);
  writeText(store, std::string(kToolbarsKey) + "\\TBToolbar", "DockedTo", "Nowhere");
  EXPECT_EQ(loadToolbarLayout(store, "TBToolbar")->DockedTo, "TopDock");
}

TEST(Translations, MessagesInBothLanguages) {
  Translator t;
  EXPECT_EQ(t.language(), Language::English);
  EXPECT_EQ(t.text("IDS_53"), "Communication error!");
  EXPECT_EQ(t.text("strPORT_PREFFIX"), "Port:");
  EXPECT_EQ(t.text("IDS_0"), "Calc");
  t.setLanguage(Language::Russian);
  EXPECT_EQ(t.text("strPORT_PREFFIX"), "Порт: ");
  EXPECT_EQ(t.text("IDS_55"), "Ом ");
  EXPECT_EQ(t.text("IDS_71"), ",  время t=");
  EXPECT_EQ(t.text("IDS_12"), "Невозможно определить коэффициент \u0421.");
  EXPECT_EQ(t.lookup(mainWindowTable(), Section::Captions, "miPort"), "Порт: \u0421\u041e\u041c1");
  EXPECT_EQ(t.dialogWord("OK"), "OK");
  EXPECT_EQ(t.text("no such id"), "");
  // Every entry has a text in both languages, except the captions left unchanged in English.
  for (auto table : {mainWindowTable(), calibrationWindowTable()})
    for (const auto& e : table) {
      EXPECT_FALSE(e.ru.empty()) << e.key;
      if (e.key != "lbTablo" && e.key != "miHelp") {
        EXPECT_FALSE(e.en.empty()) << e.key;
      }
    }
}
