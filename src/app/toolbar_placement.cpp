#include "app/toolbar_placement.h"

#include <QMainWindow>
#include <QToolBar>

#include "app/settings_store.h"

namespace velmora {

namespace {
const char* dockName(Qt::ToolBarArea area) {
  switch (area) {
    case Qt::BottomToolBarArea:
      return "BotDock";
    case Qt::LeftToolBarArea:
      return "LeftDock";
    case Qt::RightToolBarArea:
      return "RightDock";
    default:
      return "TopDock";
  }
}
Qt::ToolBarArea dockArea(const std::string& name) {
  if (name == "BotDock") return Qt::BottomToolBarArea;
  if (name == "LeftDock") return Qt::LeftToolBarArea;
  if (name == "RightDock") return Qt::RightToolBarArea;
  return Qt::TopToolBarArea;
}
}  // namespace

ToolbarPlacement::ToolbarPlacement(QMainWindow& window, QToolBar& toolbar) : m_window(window), m_toolbar(toolbar) {
  QObject::connect(&m_toolbar, &QToolBar::topLevelChanged, &m_toolbar, [this](bool floating) {
    if (!floating) m_lastDock = dockName(m_window.toolBarArea(&m_toolbar));
  });
}

void ToolbarPlacement::restore(const SettingsBackend& store) {
  auto layout = loadToolbarLayout(store, "TBToolbar");
  if (!layout) return;
  const std::string& dock = layout->DockedTo == "+" ? layout->LastDock : layout->DockedTo;
  m_window.addToolBar(dockArea(dock), &m_toolbar);
  m_lastDock = QString::fromStdString(dock);
}

void ToolbarPlacement::save(SettingsBackend& store) {
  ToolbarLayout l;
  l.Visible = m_toolbar.isVisible();
  if (m_toolbar.isFloating()) {
    l.DockedTo = "+";
    l.FloatLeft = m_toolbar.x();
    l.FloatTop = m_toolbar.y();
  } else {
    l.DockedTo = dockName(m_window.toolBarArea(&m_toolbar));
    m_lastDock = QString::fromStdString(l.DockedTo);
    const bool vertical = m_toolbar.orientation() == Qt::Vertical;
    l.DockPos = vertical ? m_toolbar.y() : m_toolbar.x();
  }
  l.LastDock = m_lastDock.toStdString();
  saveToolbarLayout(store, "TBToolbar", l);
}

}  // namespace velmora
