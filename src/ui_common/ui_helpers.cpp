#include "ui_common/ui_helpers.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QTableWidget>
#include <QShortcut>
#include <QTabWidget>
#include <set>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QWheelEvent>
#include <QApplication>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QFileDialog>
#include <QStandardPaths>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

#include "common/number_text.h"

namespace velmora {

namespace {
// Hands a wheel over an unfocused field to the scroll area around it (or drops it).
class WheelGuard : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* w = qobject_cast<QWidget*>(watched);
    if (event->type() != QEvent::Wheel || !w || w->hasFocus()) return false;
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
      if (auto* area = qobject_cast<QAbstractScrollArea*>(p)) {
        QCoreApplication::sendEvent(area->viewport(), event);
        break;
      }
    return true;
  }
};
}  // namespace

namespace {
// The keys of the Latin (QWERTY) and the Cyrillic (ЙЦУКЕН) layouts, place by place.
constexpr char16_t kLatin[] = u"qwertyuiop[]asdfghjkl;'zxcvbnm,.";
constexpr char16_t kCyrillic[] = u"йцукенгшщзхъфывапролджэячсмитьбю";

// The letter on the same key in the other layout (nothing for a key that has none).
QChar partnerKey(QChar c) {
  const QChar lower = c.toLower();
  for (std::size_t i = 0; kLatin[i]; ++i) {
    if (lower == QChar(kLatin[i])) return QChar(kCyrillic[i]);
    if (lower == QChar(kCyrillic[i])) return QChar(kLatin[i]);
  }
  return {};
}

// The text with a '&' before its first letter that is not taken (and that letter taken).
QString marked(QString text, std::set<char16_t>& taken, QChar* chosen) {
  text.replace("&&", QString(QChar(0x1)));
  text.remove('&');
  *chosen = QChar();
  for (int i = 0; i < text.size(); ++i) {
    const QChar c = text[i].toLower();
    if (!c.isLetterOrNumber() || taken.count(c.unicode()) || (!partnerKey(c).isNull() && taken.count(partnerKey(c).unicode())))
      continue;
    taken.insert(c.unicode());
    *chosen = c;
    text.insert(i, '&');
    break;
  }
  text.replace(QChar(0x1), "&&");
  return text;
}
}  // namespace

void assignMnemonics(QWidget* window, const QString& reserved) {
  for (auto* old : window->findChildren<QShortcut*>("altPartner", Qt::FindDirectChildrenOnly)) delete old;
  std::set<char16_t> taken;
  for (const QChar r : reserved) taken.insert(r.toLower().unicode());
  const auto partner = [window](QChar c, std::function<void()> act) {
    const QChar p = partnerKey(c);
    if (p.isNull()) return;
    auto* s = new QShortcut(QKeySequence(static_cast<int>(Qt::ALT) | static_cast<int>(p.toUpper().unicode())), window);
    s->setObjectName("altPartner");
    s->setContext(Qt::WindowShortcut);
    QObject::connect(s, &QShortcut::activated, window, std::move(act));
  };
  QChar c;
  for (auto* tabs : window->findChildren<QTabWidget*>())
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setTabText(i, marked(tabs->tabText(i), taken, &c));
      if (!c.isNull()) partner(c, [tabs, i] { tabs->setCurrentIndex(i); });
    }
  for (auto* b : window->findChildren<QAbstractButton*>()) {
    if (b->text().isEmpty() || b->window() != window->window()) continue;
    b->setText(marked(b->text(), taken, &c));
    if (!c.isNull())
      partner(c, [b] {
        if (!b->isVisible() || !b->isEnabled()) return;
        b->setFocus(Qt::ShortcutFocusReason);
        b->animateClick();
      });
  }
  for (auto* l : window->findChildren<QLabel*>()) {
    if (!l->buddy() || l->text().isEmpty() || l->window() != window->window()) continue;
    l->setText(marked(l->text(), taken, &c));
    if (!c.isNull())
      partner(c, [l] {
        if (l->buddy() && l->buddy()->isVisible()) l->buddy()->setFocus(Qt::ShortcutFocusReason);
      });
  }
}

void wheelOnlyWhenFocused(QWidget* root) {
  auto* guard = new WheelGuard(root);
  const auto guardOne = [guard](QWidget* w) {
    w->setFocusPolicy(Qt::StrongFocus);
    w->installEventFilter(guard);
  };
  for (auto* w : root->findChildren<QAbstractSpinBox*>()) guardOne(w);
  for (auto* w : root->findChildren<QComboBox*>()) guardOne(w);
}

QWidget* dialogParent(QWidget* fallback) {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return fallback;
}

void keepAboveParent(QWidget& dialog) {
  const QWidget* parent = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
  if (parent && (parent->windowFlags() & Qt::WindowStaysOnTopHint))
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

std::optional<double> parseUserNumber(const QString& text) {
  return parseNumber(normalizedNumberText(text).toStdString(), Blanks::Allowed);
}

QString normalizedNumberText(const QString& text) { return text.trimmed().replace(',', '.'); }

QValidator::State DecimalSpinBox::validate(QString& input, int& pos) const {
  input.replace(',', '.');
  return QDoubleSpinBox::validate(input, pos);
}

double DecimalSpinBox::valueFromText(const QString& text) const {
  return QDoubleSpinBox::valueFromText(QString(text).replace(',', '.'));
}

int askQuestion(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                std::initializer_list<std::pair<QString, QMessageBox::ButtonRole>> answers, int preferred, int escape) {
  QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
  keepAboveParent(box);
  std::vector<QPushButton*> buttons;
  for (const auto& [word, role] : answers) buttons.push_back(box.addButton(word, role));
  box.setDefaultButton(buttons.at(static_cast<std::size_t>(preferred)));
  box.setEscapeButton(buttons.at(static_cast<std::size_t>(escape)));
  box.exec();
  const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  return chosen == buttons.end() ? escape : static_cast<int>(chosen - buttons.begin());
}

void addAcceptCancel(QDialog& dialog, QFormLayout& form, const QString& acceptText, const Translator& tr) {
  auto* buttons = new QDialogButtonBox(&dialog);
  buttons->addButton(acceptText, QDialogButtonBox::AcceptRole);
  buttons->addButton(qs(tr.text("wCancel")), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form.addRow(buttons);
}

QTableWidgetItem* cellItem(QTableWidget* table, int row, int column) {
  QTableWidgetItem* item = table->item(row, column);
  if (!item) {
    item = new QTableWidgetItem();
    table->setItem(row, column, item);
  }
  return item;
}

void showMessage(QWidget* parent, const Translator& tr, MessageKind kind, const QString& text) {
  parent = dialogParent(parent);
  const char* title = kind == MessageKind::Error ? "Error" : kind == MessageKind::Warning ? "Warning" : "Information";
  QMessageBox box(kind == MessageKind::Error     ? QMessageBox::Critical
                  : kind == MessageKind::Warning ? QMessageBox::Warning
                                                 : QMessageBox::Information,
                  qs(tr.dialogWord(title)), QString(text).replace("\r\n", "\n").replace('\r', '\n'),
                  QMessageBox::NoButton, parent);
  box.setObjectName("messageBox");
  keepAboveParent(box);
  box.addButton(qs(tr.dialogWord("OK")), QMessageBox::AcceptRole);
  box.exec();
}

void translateWindow(QWidget* window, std::span<const TranslationEntry> table, const Translator& tr,
                     std::initializer_list<std::string_view> skip) {
  for (const auto& e : table) {
    if (std::find(skip.begin(), skip.end(), e.key) != skip.end()) continue;
    const std::string_view text = e.text(tr.language());
    if (text.empty()) continue;
    const QString key = qs(e.key);
    QObject* target = window->objectName() == key ? window : window->findChild<QObject*>(key);
    if (!target) continue;
    switch (e.section) {
      case Section::Captions:
        if (target == window)
          window->setWindowTitle(qs(text));
        else if (auto* a = qobject_cast<QAction*>(target))
          a->setText(qs(text));
        else if (auto* l = qobject_cast<QLabel*>(target))
          l->setText(qs(text));
        else if (auto* b = qobject_cast<QAbstractButton*>(target))
          b->setText(qs(text));
        else if (auto* g = qobject_cast<QGroupBox*>(target))
          g->setTitle(qs(text));
        break;
      case Section::Fonts:
        if (auto* w = qobject_cast<QWidget*>(target)) {
          QFont f = w->font();
          f.setFamily(qs(text));
          w->setFont(f);
        }
        break;
      default:
        break;  // character sets have no meaning for Qt fonts; other sections are read where used
    }
  }
}

QString startFolder(const QString& sub) {
  QDir dir(QCoreApplication::applicationDirPath());
  if (dir.mkpath(sub)) {
    const QFileInfo info(dir.filePath(sub));
    if (info.isWritable()) return info.absoluteFilePath();
  }
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString runFileDialog(QWidget* parent, bool save, const QString& title, const QString& folder, const QString& proposed,
                      const QStringList& filters) {
  QFileDialog dialog(dialogParent(parent), title, folder);
  keepAboveParent(dialog);
  QStringList names, suffixes;
  for (const QString& f : filters) {
    const QStringList parts = f.split('|');
    names << (parts.size() == 2 ? parts[0] + " (" + parts[1] + ")" : f);
    const QString first = parts.size() == 2 ? parts[1].section(' ', 0, 0) : QString();
    suffixes << (first.startsWith("*.") ? first.mid(2) : QString());
  }
  dialog.setNameFilters(names);
  if (!suffixes.isEmpty()) dialog.setDefaultSuffix(suffixes.first());
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& name) {
    const auto i = names.indexOf(name);
    if (i >= 0) dialog.setDefaultSuffix(suffixes[i]);
  });
  if (save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(proposed);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QIcon toolbarIcon(int index) {
  QSvgRenderer renderer(QString(":/icons/%1.svg").arg(index));
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    renderer.render(&p);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

// A window that would open off every screen is brought back onto the primary one.
void pullIntoView(QWidget& w) {
  const QRect frame(w.pos(), w.size());
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().intersects(frame.adjusted(40, 10, -40, -40))) return;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    w.resize(std::min(w.width(), avail.width()), std::min(w.height(), avail.height()));
    w.move(avail.center() - QPoint(w.width() / 2, w.height() / 2));
  }
}


}  // namespace velmora
