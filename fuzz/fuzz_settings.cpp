// Settings a user may have edited: every key of the main key and of the toolbar layout
// filled with values of any type, then read back.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "app/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  static const char* kMain[] = {"LangID", "Width",  "Height", "Top",   "Left",  "ChartVisible", "TuneVisible", "Flow",
                                "Ystart", "Yrange", "Xrange", "Catch", "AutoY", "AutoX",        "CalcMethod",  "USB"};
  static const char* kToolbar[] = {"Rev", "Visible", "DockedTo", "LastDock", "DockRow", "DockPos", "FloatLeft",
                                   "FloatTop"};
  MemorySettingsBackend store;
  store.createKey(kMainKey);
  const std::string toolbarKey = std::string(kToolbarsKey) + "\\TBToolbar";
  std::size_t pos = 0;
  auto take = [&](std::size_t n) {
    std::string_view s(reinterpret_cast<const char*>(data + pos), std::min(n, size - pos));
    pos += s.size();
    return s;
  };
  for (std::size_t k = 0; pos < size && k < 24; ++k) {
    const std::uint8_t control = data[pos++];
    const bool toolbar = k >= 16;
    const char* name = toolbar ? kToolbar[(k - 16) % 8] : kMain[k];
    const std::string key = toolbar ? toolbarKey : std::string(kMainKey);
    const std::string_view bytes = take(control >> 3);
    switch (control & 3) {
      case 0: {
        std::uint32_t v = 0;
        for (char c : bytes) v = v * 131 + static_cast<std::uint8_t>(c);
        store.write(key, name, SettingValue{v});
        break;
      }
      case 1:
        store.write(key, name, SettingValue{std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
        break;
      case 2:
        store.write(key, name, SettingValue{std::string(bytes)});
        break;
      default:
        break;  // missing
    }
  }
  if (auto m = loadMainSettings(store, 1049)) {
    if (m->Flow < 1 || m->Flow > 120 || m->Width < 1 || m->Height < 1) __builtin_trap();
    if (!std::isfinite(m->Ystart) || !std::isfinite(m->Yrange) || !std::isfinite(m->Xrange)) __builtin_trap();
    if (m->CalcMethod < 0 || m->CalcMethod > 2 || (m->LangID != 1 && m->LangID != 2)) __builtin_trap();
  }
  loadToolbarLayout(store, "TBToolbar");
  return 0;
}
