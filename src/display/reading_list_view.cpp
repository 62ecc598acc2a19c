#include "display/reading_list_view.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <limits>

namespace velmora {

// ---------------------------------------------------------------- model


int ReadingListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_shown; }

QVariant ReadingListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || static_cast<std::size_t>(index.row()) >= m_listPtr->size())
    return {};
  const auto line = m_listPtr->line(static_cast<std::size_t>(index.row()));
  return QString::fromLatin1(line.data(), static_cast<int>(line.size()));
}

void ReadingListModel::setList(const ReadingList& list) {
  beginResetModel();
  m_listPtr = &list;
  m_shown = static_cast<int>(std::min<std::size_t>(list.size(), std::numeric_limits<int>::max()));
  endResetModel();
}

void ReadingListModel::beginReplace() {
  if (!m_replacing) {
    beginResetModel();
    m_replacing = true;
  }
}

void ReadingListModel::sync() {
  const std::size_t capped = std::min<std::size_t>(m_listPtr->size(), std::numeric_limits<int>::max());
  const int n = static_cast<int>(capped);
  if (m_replacing) {
    m_shown = n;
    m_replacing = false;
    endResetModel();
  } else if (n > m_shown) {
    beginInsertRows(QModelIndex(), m_shown, n - 1);
    m_shown = n;
    endInsertRows();
  } else if (n < m_shown) {
    beginResetModel();
    m_shown = n;
    endResetModel();
  }
}

// ---------------------------------------------------------------- view

namespace {
// The scroll bar counts in rows; a QScrollBar holds an int.
constexpr std::size_t kMaxScroll = static_cast<std::size_t>(std::numeric_limits<int>::max());
}  // namespace

ReadingListView::ReadingListView(const ReadingList& list, QWidget* parent)
    : QAbstractScrollArea(parent), m_listPtr(&list), m_model(new ReadingListModel(list, this)) {
  setObjectName("reRX");
  QFont font("Courier", 10);
  font.setStyleHint(QFont::Monospace);
  setFont(font);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  m_rowHeight = std::max(1, fontMetrics().height());
  verticalScrollBar()->setSingleStep(1);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), [this] { viewport()->update(); });
}

void ReadingListView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    m_rowHeight = std::max(1, fontMetrics().height());
    updateScrollBar();
  }
  QAbstractScrollArea::changeEvent(event);
}

std::size_t ReadingListView::pageRows() const {
  return std::max<std::size_t>(1, static_cast<std::size_t>(viewport()->height() / m_rowHeight));
}

std::size_t ReadingListView::firstVisibleRow() const { return static_cast<std::size_t>(verticalScrollBar()->value()); }

bool ReadingListView::atEnd() const { return verticalScrollBar()->value() >= verticalScrollBar()->maximum() - 1; }

void ReadingListView::updateScrollBar() {
  const std::size_t page = pageRows();
  const std::size_t max = m_rows > page ? std::min(m_rows - page, kMaxScroll) : 0;
  QScrollBar* bar = verticalScrollBar();
  bar->setPageStep(static_cast<int>(std::min(page, kMaxScroll)));
  bar->setRange(0, static_cast<int>(max));
}

void ReadingListView::scrollToEnd() { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); }

void ReadingListView::setList(const ReadingList& list) {
  if (&list == m_listPtr) return;
  m_listPtr = &list;
  m_model->setList(list);
  m_selection.clear();
  m_anchor = m_current = 0;
  m_rows = 0;
  m_followOnShow = true;
  sync();
  scrollToEnd();
  viewport()->update();
}

void ReadingListView::sync() {
  m_model->sync();
  const std::size_t n = m_listPtr->size();
  if (n == m_rows) return;
  const bool follow = atEnd();
  if (n < m_rows) {  // emptied or replaced
    m_selection.clear();
    m_anchor = m_current = 0;
  }
  m_rows = n;
  // A hidden view only keeps its count; it goes to the end when it is shown.
  if (!isVisible()) {
    m_followOnShow = m_followOnShow || follow;
    updateScrollBar();
    return;
  }
  updateScrollBar();
  if (follow) scrollToEnd();
  viewport()->update();
}

void ReadingListView::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  updateScrollBar();
  if (m_followOnShow) scrollToEnd();
  m_followOnShow = false;
}

void ReadingListView::resizeEvent(QResizeEvent* event) {
  const bool follow = atEnd();
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBar();
  if (follow) scrollToEnd();
}

void ReadingListView::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const std::size_t first = firstVisibleRow();
  const std::size_t last = std::min(m_rows, first + pageRows() + 1);
  const QPalette& pal = palette();
  const int width = viewport()->width();
  const int ascent = fontMetrics().ascent();
  for (std::size_t row = first; row < last; ++row) {
    const int y = static_cast<int>(row - first) * m_rowHeight;
    const bool selected = isSelected(row);
    if (selected) p.fillRect(QRect(0, y, width, m_rowHeight), pal.brush(QPalette::Highlight));
    p.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const auto line = m_listPtr->line(row);
    p.drawText(QPoint(2, y + ascent), QString::fromLatin1(line.data(), static_cast<int>(line.size())));
  }
}

// ---------------------------------------------------------------- selection

bool ReadingListView::isSelected(std::size_t row) const {
  auto it = std::upper_bound(m_selection.begin(), m_selection.end(), row,
                             [](std::size_t r, const Range& range) { return r < range.first; });
  return it != m_selection.begin() && row < std::prev(it)->last;
}

std::size_t ReadingListView::selectedCount() const {
  std::size_t n = 0;
  for (const auto& r : m_selection) n += r.last - r.first;
  return n;
}

void ReadingListView::selectRange(std::size_t a, std::size_t b, bool add) {
  if (!add) m_selection.clear();
  if (m_rows == 0) return;
  Range r{std::min(a, b), std::min(std::max(a, b), m_rows - 1) + 1};
  // Merge into the sorted, disjoint list.
  std::vector<Range> merged;
  bool placed = false;
  for (const auto& s : m_selection) {
    if (s.last < r.first) {
      merged.push_back(s);
    } else if (r.last < s.first) {
      if (!placed) merged.push_back(r), placed = true;
      merged.push_back(s);
    } else {
      r = {std::min(r.first, s.first), std::max(r.last, s.last)};
    }
  }
  if (!placed) merged.push_back(r);
  m_selection = std::move(merged);
  viewport()->update();
}

void ReadingListView::toggleRow(std::size_t row) {
  if (!isSelected(row)) {
    selectRange(row, row, true);
    return;
  }
  std::vector<Range> out;
  for (const auto& s : m_selection) {
    if (row < s.first || row >= s.last) {
      out.push_back(s);
      continue;
    }
    if (s.first < row) out.push_back({s.first, row});
    if (row + 1 < s.last) out.push_back({row + 1, s.last});
  }
  m_selection = std::move(out);
  viewport()->update();
}

void ReadingListView::selectAll() {
  if (m_rows == 0) return;
  m_selection = {{0, m_rows}};
  viewport()->update();
}

void ReadingListView::clearSelection() {
  m_selection.clear();
  viewport()->update();
}

QString ReadingListView::selectedText() const {
  if (m_rows > 0 && selectedCount() == m_rows) {
    const std::string all = m_listPtr->text();
    return QString::fromLatin1(all.data(), static_cast<int>(all.size()));
  }
  std::string text;
  for (const auto& r : m_selection)
    for (std::size_t row = r.first; row < r.last && row < m_listPtr->size(); ++row) {
      if (!text.empty()) text += "\r\n";
      text += m_listPtr->line(row);
    }
  return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

void ReadingListView::copyAllToClipboard() {
  const std::string all = m_listPtr->text();
  QApplication::clipboard()->setText(QString::fromLatin1(all.data(), static_cast<int>(all.size())));
  clearSelection();
}

// ---------------------------------------------------------------- mouse and keys

std::size_t ReadingListView::rowAt(int y) const {
  const std::size_t row = firstVisibleRow() + static_cast<std::size_t>(std::max(0, y) / m_rowHeight);
  return m_rows == 0 ? 0 : std::min(row, m_rows - 1);
}

void ReadingListView::ensureVisible(std::size_t row) {
  const std::size_t first = firstVisibleRow();
  const std::size_t page = pageRows();
  if (row < first)
    verticalScrollBar()->setValue(static_cast<int>(std::min(row, kMaxScroll)));
  else if (row >= first + page)
    verticalScrollBar()->setValue(static_cast<int>(std::min(row + 1 - page, kMaxScroll)));
}

void ReadingListView::mousePressEvent(QMouseEvent* event) {
  if (m_rows == 0 || event->button() != Qt::LeftButton) return;
  const std::size_t row = rowAt(event->position().toPoint().y());
  if (event->modifiers() & Qt::ShiftModifier) {
    selectRange(m_anchor, row, event->modifiers() & Qt::ControlModifier);
  } else if (event->modifiers() & Qt::ControlModifier) {
    toggleRow(row);
    m_anchor = row;
  } else {
    selectRange(row, row, false);
    m_anchor = row;
  }
  m_current = row;
}

void ReadingListView::mouseMoveEvent(QMouseEvent* event) {
  if (m_rows == 0 || !(event->buttons() & Qt::LeftButton)) return;
  const std::size_t row = rowAt(event->position().toPoint().y());
  selectRange(m_anchor, row, false);
  m_current = row;
  ensureVisible(row);
}

void ReadingListView::moveCurrent(std::ptrdiff_t delta, bool extend) {
  if (m_rows == 0) return;
  const auto target = static_cast<std::ptrdiff_t>(m_current) + delta;
  m_current = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(target, 0, static_cast<std::ptrdiff_t>(m_rows) - 1));
  if (!extend) m_anchor = m_current;
  selectRange(m_anchor, m_current, false);
  ensureVisible(m_current);
}

void ReadingListView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QApplication::clipboard()->setText(selectedText());
  } else if (event->matches(QKeySequence::SelectAll)) {
    selectAll();
  } else {
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const auto page = static_cast<std::ptrdiff_t>(pageRows());
    const auto all = static_cast<std::ptrdiff_t>(m_rows);
    switch (event->key()) {
      case Qt::Key_Up: moveCurrent(-1, extend); break;
      case Qt::Key_Down: moveCurrent(1, extend); break;
      case Qt::Key_PageUp: moveCurrent(-page, extend); break;
      case Qt::Key_PageDown: moveCurrent(page, extend); break;
      case Qt::Key_Home: moveCurrent(-all, extend); break;
      case Qt::Key_End: moveCurrent(all, extend); break;
      default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
  }
  event->accept();
}

}  // namespace velmora
