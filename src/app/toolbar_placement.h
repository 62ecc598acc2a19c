#pragma once
// Where the main window's toolbar sits, kept in the toolbar layout section of the settings:
// the dock it is in (or "+" while floating, with its position) and the dock it was last in.

#include <QString>

class QMainWindow;
class QToolBar;

namespace velmora {

class SettingsBackend;

class ToolbarPlacement {
 public:
  ToolbarPlacement(QMainWindow& window, QToolBar& toolbar);
  // A floating toolbar comes back docked where it last was: Qt offers no portable way to
  // float a toolbar from code.
  void restore(const SettingsBackend& store);
  void save(SettingsBackend& store);

 private:
  QMainWindow& m_window;
  QToolBar& m_toolbar;
  QString m_lastDock = "TopDock";
};

}  // namespace velmora
