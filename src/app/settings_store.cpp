#include "app/settings_store.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/number_text.h"

namespace velmora {

namespace {

int readInt(const SettingsBackend& s, std::string_view name, int def, int lo, int hi) {
  auto v = readDword(s, kMainKey, name);
  if (!v) return def;
  auto n = static_cast<std::int32_t>(*v);  // a DWORD holding a negative position
  return n >= lo && n <= hi ? n : def;
}

std::optional<bool> readBool(const SettingsBackend& s, std::string_view key, std::string_view name) {
  auto v = readDword(s, key, name);
  if (!v) return std::nullopt;
  return *v != 0;
}

double readAxis(const SettingsBackend& s, std::string_view name, double def) {
  auto v = readDouble(s, kMainKey, name);
  return v && std::isfinite(*v) && std::fabs(*v) < 1e15 ? *v : def;
}

constexpr int kMaxExtent = 100000;

// A text the user typed; an INI file may hand back one made of digits as a number.
std::string readFreeText(const SettingsBackend& s, std::string_view name) {
  if (auto t = readText(s, kMainKey, name)) return *t;
  if (auto n = readDword(s, kMainKey, name)) return std::to_string(*n);
  return {};
}

}  // namespace

std::optional<MainSettings> loadMainSettings(const SettingsBackend& store, int userLanguageId) {
  if (!store.keyExists(kMainKey)) return std::nullopt;
  MainSettings m;
  const int langDefault = userLanguageId == 1049 ? 1 : 2;
  m.LangID = readInt(store, "LangID", langDefault, 1, 2);
  m.Width = readInt(store, "Width", 800, 1, kMaxExtent);
  m.Height = readInt(store, "Height", 600, 1, kMaxExtent);
  m.Top = readInt(store, "Top", 0, -kMaxExtent, kMaxExtent);
  m.Left = readInt(store, "Left", 0, -kMaxExtent, kMaxExtent);
  m.ChartVisible = readBool(store, kMainKey, "ChartVisible").value_or(true);
  m.TuneVisible = readBool(store, kMainKey, "TuneVisible").value_or(false);
  if (auto flow = readDword(store, kMainKey, "Flow")) {
    auto n = static_cast<std::int32_t>(*flow);
    m.Flow = std::clamp(n, 1, 120);
  }
  m.Ystart = readAxis(store, "Ystart", 0);
  // A range that shows as 0 would collapse its axis on every start: the default instead.
  m.Yrange = readAxis(store, "Yrange", 350);
  if (std::fabs(m.Yrange) < 0.5) m.Yrange = 350;
  m.Xrange = readAxis(store, "Xrange", 60);
  if (std::fabs(m.Xrange) < 0.5) m.Xrange = 60;
  m.Catch = readBool(store, kMainKey, "Catch").value_or(false);
  m.AutoY = readBool(store, kMainKey, "AutoY");
  m.AutoX = readBool(store, kMainKey, "AutoX");
  m.CalcMethod = readInt(store, "CalcMethod", 0, 0, 2);
  m.USB = readBool(store, kMainKey, "USB");
  m.Reconnect = readBool(store, kMainKey, "Reconnect").value_or(false);
  m.ReconnectLimit = readInt(store, "ReconnectLimit", 10, 1, 1440);
  m.ClockTime = readBool(store, kMainKey, "ClockTime").value_or(false);
  m.StatsVisible = readBool(store, kMainKey, "StatsVisible").value_or(false);
  m.StableMinutes = readInt(store, "StableMinutes", 10, 1, 1440);
  m.StableThreshold = readAxis(store, "StableThreshold", 0.01);
  if (!(m.StableThreshold > 0)) m.StableThreshold = 0.01;
  m.VerifyWrite = readBool(store, kMainKey, "VerifyWrite").value_or(false);
  m.ReportProbe = readFreeText(store, "ReportProbe");
  m.ReportOperator = readFreeText(store, "ReportOperator");
  m.ReportReference = readFreeText(store, "ReportReference");
  m.ReportNotes = readFreeText(store, "ReportNotes");
  return m;
}

void saveMainSettings(SettingsBackend& store, const MainSettings& m) {
  auto dword = [&](std::string_view name, std::int64_t v) {
    writeDword(store, kMainKey, name, static_cast<std::uint32_t>(v));
  };
  dword("LangID", m.LangID);
  dword("Width", m.Width);
  dword("Height", m.Height);
  dword("Top", m.Top);
  dword("Left", m.Left);
  dword("ChartVisible", m.ChartVisible);
  dword("TuneVisible", m.TuneVisible);
  dword("Flow", m.Flow);
  writeDouble(store, kMainKey, "Ystart", m.Ystart);
  writeDouble(store, kMainKey, "Yrange", m.Yrange);
  writeDouble(store, kMainKey, "Xrange", m.Xrange);
  dword("Catch", m.Catch);
  dword("AutoY", m.AutoY.value_or(false));
  dword("AutoX", m.AutoX.value_or(false));
  dword("CalcMethod", m.CalcMethod);
  dword("USB", m.USB.value_or(false));
  dword("Reconnect", m.Reconnect);
  dword("ReconnectLimit", m.ReconnectLimit);
  dword("ClockTime", m.ClockTime);
  dword("StatsVisible", m.StatsVisible);
  dword("StableMinutes", m.StableMinutes);
  writeDouble(store, kMainKey, "StableThreshold", m.StableThreshold);
  dword("VerifyWrite", m.VerifyWrite);
  writeText(store, kMainKey, "ReportProbe", m.ReportProbe);
  writeText(store, kMainKey, "ReportOperator", m.ReportOperator);
  writeText(store, kMainKey, "ReportReference", m.ReportReference);
  writeText(store, kMainKey, "ReportNotes", m.ReportNotes);
}

namespace {
std::string toolbarKey(std::string_view toolbarName) {
  std::string key = kToolbarsKey;
  key += '\\';
  key += toolbarName;
  return key;
}

bool isDockName(std::string_view s) {
  return s == "TopDock" || s == "BotDock" || s == "LeftDock" || s == "RightDock";
}
}  // namespace

std::optional<ToolbarLayout> loadToolbarLayout(const SettingsBackend& store, std::string_view toolbarName) {
  const std::string key = toolbarKey(toolbarName);
  if (!store.keyExists(key)) return std::nullopt;
  auto rev = readDword(store, key, "Rev");
  if (!rev || *rev != kToolbarLayoutRev) return std::nullopt;
  ToolbarLayout l;
  l.Visible = readBool(store, key, "Visible").value_or(true);
  if (auto d = readText(store, key, "DockedTo"); d && (isDockName(*d) || *d == "+")) l.DockedTo = *d;
  if (auto d = readText(store, key, "LastDock"); d && isDockName(*d)) l.LastDock = *d;
  auto intValue = [&](std::string_view name, int def) {
    auto v = readDword(store, key, name);
    if (!v) return def;
    auto n = static_cast<std::int32_t>(*v);
    return n >= -kMaxExtent && n <= kMaxExtent ? n : def;
  };
  l.DockRow = std::max(0, intValue("DockRow", 0));
  l.DockPos = intValue("DockPos", 0);
  l.FloatLeft = intValue("FloatLeft", 0);
  l.FloatTop = intValue("FloatTop", 0);
  return l;
}

void saveToolbarLayout(SettingsBackend& store, std::string_view toolbarName, const ToolbarLayout& l) {
  const std::string key = toolbarKey(toolbarName);
  writeDword(store, key, "Rev", kToolbarLayoutRev);
  writeDword(store, key, "Visible", l.Visible ? 1 : 0);
  writeText(store, key, "DockedTo", l.DockedTo);
  writeText(store, key, "LastDock", l.LastDock);
  writeDword(store, key, "DockRow", static_cast<std::uint32_t>(l.DockRow));
  writeDword(store, key, "DockPos", static_cast<std::uint32_t>(l.DockPos));
  writeDword(store, key, "FloatLeft", static_cast<std::uint32_t>(l.FloatLeft));
  writeDword(store, key, "FloatTop", static_cast<std::uint32_t>(l.FloatTop));
}

}  // namespace velmora
