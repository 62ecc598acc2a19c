#pragma once
// The reading list `reRX`: a read-only, model-based view over the compact line store, so
// that millions of lines cost a few bytes each and scrolling stays instant.

#include <QAbstractListModel>
#include <QListView>

#include "display/reading_list.h"

namespace velmora {

class ReadingListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit ReadingListModel(const ReadingList& list, QObject* parent = nullptr) : QAbstractListModel(parent), m_list(list) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Brings the view up to the store: appended lines are inserted, anything else resets.
  void sync();
  // Call before the store is replaced or emptied, and sync() afterwards.
  void beginReplace();

 private:
  const ReadingList& m_list;
  int m_shown = 0;
  bool m_replacing = false;
};

class ReadingListView : public QListView {
  Q_OBJECT
 public:
  explicit ReadingListView(const ReadingList& list, QWidget* parent = nullptr);
  ReadingListModel* listModel() const { return m_model; }
  // Plain text of the selected lines (all lines after select-all) joined by CR LF.
  QString selectedText() const;
  // Select all, copy to the clipboard, and leave the selection empty.
  void copyAllToClipboard();
  void sync();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  const ReadingList& m_list;
  ReadingListModel* m_model;
};

}  // namespace velmora
