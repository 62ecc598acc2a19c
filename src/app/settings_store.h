#pragma once
// The program's persistent settings: one interface over two stores (the registry on
// Windows, an INI file elsewhere) with the same keys and value types, and the typed
// reading and writing of every value with its default.

#include <optional>
#include <string>
#include <string_view>

#include "common/settings_backend.h"

namespace velmora {

// Key paths, below HKEY_CURRENT_USER on Windows.
inline constexpr const char* kMainKey = "Software\\KORVAN\\Programs\\Velmora";
inline constexpr const char* kPortSettingsKey = "Software\\KORVAN\\Programs\\Velmora\\PortSettings";
inline constexpr const char* kToolbarsKey = "Software\\KORVAN\\Programs\\Toolbars";

// The values of the main key, in the order they are read and written.
struct MainSettings {
  int LangID = 2;
  int Width = 800;
  int Height = 600;
  int Top = 0;
  int Left = 0;
  bool ChartVisible = true;
  bool TuneVisible = false;
  int Flow = 60;
  double Ystart = 0;
  double Yrange = 350;
  double Xrange = 60;
  bool Catch = false;
  std::optional<bool> AutoY;  // nothing: leave the axis as it is
  std::optional<bool> AutoX;
  int CalcMethod = 0;
  std::optional<bool> USB;
  // Beyond the designed values: reconnecting after a failed link, and for how long.
  bool Reconnect = false;
  int ReconnectLimit = 10;  // minutes, 1..1440
  // The chart's time axis in clock time; the statistics panel and its stability rule.
  bool ClockTime = false;
  bool StatsVisible = false;
  int StableMinutes = 10;         // 1..1440
  double StableThreshold = 0.01;  // °C peak to peak, > 0
  // The calibration window: reading back a write, and the report's free fields.
  bool VerifyWrite = false;
  std::string ReportProbe, ReportOperator, ReportReference, ReportNotes;
};

// Reads the main key. Nothing when the key does not exist (then nothing is applied).
// Values of the wrong type or out of range give their default; `Flow` is clamped to 1..120.
// A missing `LangID` gives Russian when the user's language identifier is 1049.
std::optional<MainSettings> loadMainSettings(const SettingsBackend& store, int userLanguageId);
void saveMainSettings(SettingsBackend& store, const MainSettings& settings);

// The toolbar layout section "TBToolbar" under the toolbars key.
struct ToolbarLayout {
  bool Visible = true;
  std::string DockedTo = "TopDock";  // "TopDock", "BotDock", "LeftDock", "RightDock", or "+" floating
  std::string LastDock = "TopDock";
  int DockRow = 0;
  int DockPos = 0;
  int FloatLeft = 0;
  int FloatTop = 0;
};
inline constexpr int kToolbarLayoutRev = 2000;

// Nothing when the section is missing or of another revision.
std::optional<ToolbarLayout> loadToolbarLayout(const SettingsBackend& store, std::string_view toolbarName);
void saveToolbarLayout(SettingsBackend& store, std::string_view toolbarName, const ToolbarLayout& layout);

}  // namespace velmora
