#pragma once
// The reading list `reRX`: a read-only view that draws only the lines in sight, straight
// from the compact line store, so that a new line costs the same with ten million held as
// with ten. Lines can be selected (click, Shift/Ctrl-click, arrow keys, Ctrl+A) and copied
// (Ctrl+C). While the view shows the last line it follows the newest.

#include <QAbstractListModel>
#include <QAbstractScrollArea>
#include <cstddef>
#include <vector>

#include "display/reading_list.h"

namespace velmora {

// The lines as an item model, for whoever wants one (accessibility, tests). Appending rows
// costs O(1): nothing lays the rows out.
class ReadingListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit ReadingListModel(const ReadingList& list, QObject* parent = nullptr) : QAbstractListModel(parent), m_listPtr(&list) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Brings the model up to the store: appended lines are inserted, anything else resets.
  void sync();
  // Call before the store is replaced or emptied, and sync() afterwards.
  void beginReplace();
  // Shows another store (another instrument's readings).
  void setList(const ReadingList& list);

 private:
  const ReadingList* m_listPtr;
  const ReadingList& list() const { return *m_listPtr; }
  int m_shown = 0;
  bool m_replacing = false;
};

class ReadingListView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit ReadingListView(const ReadingList& list, QWidget* parent = nullptr);
  ReadingListModel* listModel() const { return m_model; }
  ReadingListModel* model() const { return m_model; }

  // Brings the view up to the store (called at the redraw rate, not per line).
  void sync();
  // Shows another store (the selected instrument's readings), from its end.
  void setList(const ReadingList& list);

  // Plain text of the selected lines (all lines after select-all) joined by CR LF.
  QString selectedText() const;
  std::size_t selectedCount() const;
  bool isSelected(std::size_t row) const;
  void selectAll();
  void clearSelection();
  // Select all, copy to the clipboard, and leave the selection empty.
  void copyAllToClipboard();
  std::size_t rowCount() const { return m_rows; }
  std::size_t firstVisibleRow() const;
  int rowHeight() const { return m_rowHeight; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Selected rows as sorted, disjoint half-open ranges.
  struct Range {
    std::size_t first, last;
  };
  void updateScrollBar();
  bool atEnd() const;
  void scrollToEnd();
  void ensureVisible(std::size_t row);
  std::size_t pageRows() const;
  std::size_t rowAt(int y) const;
  void selectRange(std::size_t a, std::size_t b, bool add);
  void toggleRow(std::size_t row);
  void moveCurrent(std::ptrdiff_t delta, bool extend);

  const ReadingList* m_listPtr;
  ReadingListModel* m_model;
  std::size_t m_rows = 0;  // lines the view knows of
  int m_rowHeight = 16;
  std::vector<Range> m_selection;
  std::size_t m_anchor = 0;
  std::size_t m_current = 0;
  bool m_followOnShow = true;
};

}  // namespace velmora
