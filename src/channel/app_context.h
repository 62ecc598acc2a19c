#pragma once
// What a feature window (the comparison bench, the lab network) is given of the program: the
// instruments, the language and its changes, where its menu entries and status field go, the
// window its questions stand over, and the few commands it may give. The main window makes
// one and main() hands it on; a test can make one without a main window.

#include <QObject>
#include <QString>
#include <functional>

#include "ui_common/ui_helpers.h"

class QMenu;
class QStatusBar;
class QWidget;

namespace velmora {

class ChannelSet;
class Translator;

class AppContext : public QObject {
  Q_OBJECT
 public:
  AppContext(ChannelSet& channels, const Translator& tr, QWidget* window, QMenu* menu, QStatusBar* statusBar,
             QObject* parent = nullptr)
      : QObject(parent), m_channels(channels), m_tr(tr), m_window(window), m_menu(menu), m_statusBar(statusBar) {}

  ChannelSet& channels() const { return m_channels; }
  const Translator& translator() const { return m_tr; }
  // The program's main window: questions stand over it, and its closing is watched.
  QWidget* window() const { return m_window; }
  // The menu where further windows and settings are offered; the status bar for a field.
  QMenu* menu() const { return m_menu; }
  QStatusBar* statusBar() const { return m_statusBar; }

  // Record on or off for every instrument, as the toolbar's Record does.
  std::function<void(bool)> setRecordAll = [](bool) {};
  // The recording journal's offer to restore a cut-off recording.
  std::function<void()> offerRestore = [] {};
  // A message in the program's message box (tests record them instead).
  std::function<void(MessageKind, const QString&)> message = [](MessageKind, const QString&) {};

 signals:
  void languageChanged();
  // The main window closed and the program ends.
  void closedNormally();

 private:
  ChannelSet& m_channels;
  const Translator& m_tr;
  QWidget* m_window;
  QMenu* m_menu;
  QStatusBar* m_statusBar;
};

}  // namespace velmora
