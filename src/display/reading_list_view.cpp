#include "display/reading_list_view.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>
#include <limits>

namespace velmora {

int ReadingListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_shown; }

QVariant ReadingListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || static_cast<std::size_t>(index.row()) >= m_list.size())
    return {};
  const auto line = m_list.line(static_cast<std::size_t>(index.row()));
  return QString::fromLatin1(line.data(), static_cast<int>(line.size()));
}

void ReadingListModel::beginReplace() {
  if (!m_replacing) {
    beginResetModel();
    m_replacing = true;
  }
}

void ReadingListModel::sync() {
  const std::size_t capped = std::min<std::size_t>(m_list.size(), std::numeric_limits<int>::max());
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

ReadingListView::ReadingListView(const ReadingList& list, QWidget* parent)
    : QListView(parent), m_list(list), m_model(new ReadingListModel(list, this)) {
  setObjectName("reRX");
  setModel(m_model);
  setUniformItemSizes(true);
  setLayoutMode(QListView::SinglePass);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font("Courier", 10);
  font.setStyleHint(QFont::Monospace);
  setFont(font);
}

void ReadingListView::sync() {
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() >= bar->maximum() - 1;
  m_model->sync();
  if (atEnd) scrollToBottom();
}

QString ReadingListView::selectedText() const {
  const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
  if (rows.size() == m_model->rowCount() && !rows.isEmpty()) {
    const std::string all = m_list.text();
    return QString::fromLatin1(all.data(), static_cast<int>(all.size()));
  }
  QList<int> order;
  for (const auto& i : rows) order.push_back(i.row());
  std::sort(order.begin(), order.end());
  QString text;
  for (int r : order) {
    if (!text.isEmpty()) text += "\r\n";
    const auto line = m_list.line(static_cast<std::size_t>(r));
    text += QString::fromLatin1(line.data(), static_cast<int>(line.size()));
  }
  return text;
}

void ReadingListView::copyAllToClipboard() {
  const std::string all = m_list.text();
  QApplication::clipboard()->setText(QString::fromLatin1(all.data(), static_cast<int>(all.size())));
  clearSelection();
}

void ReadingListView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QApplication::clipboard()->setText(selectedText());
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

}  // namespace velmora
