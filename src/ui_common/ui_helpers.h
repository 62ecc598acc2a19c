#pragma once
// Small user-interface helpers shared by both windows: message boxes with the words of the
// translation table, translation of a window from its table, and the toolbar pictures.

#include <QDoubleSpinBox>
#include <QIcon>
#include <QMessageBox>
#include <optional>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <span>
#include <string_view>

#include "ui_common/translations.h"

class QDialog;
class QFormLayout;
class QTableWidget;
class QTableWidgetItem;

namespace velmora {

enum class MessageKind { Error, Information, Warning };

inline QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

// A modal message box with one OK button; a carriage return in the text starts a new line.
// It opens above the window the user is working in (see dialogParent).
void showMessage(QWidget* parent, const Translator& tr, MessageKind kind, const QString& text);

// A question with its answers (text and role), asked above `parent`: the answer `preferred`
// is the default button, `escape` is what Escape and the window's close button give. Returns
// the index of the answer chosen.
int askQuestion(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                std::initializer_list<std::pair<QString, QMessageBox::ButtonRole>> answers, int preferred, int escape);

// A dialog's row of two buttons, the accepting one with `acceptText`, the other Cancel
// (Escape); added as the last row of `form`.
void addAcceptCancel(QDialog& dialog, QFormLayout& form, const QString& acceptText, const Translator& tr);

// A table's cell, made when it has none yet.
QTableWidgetItem* cellItem(QTableWidget* table, int row, int column);

// The window a dialog should belong to: the modal window the user is working in (the
// calibration window stays on top of the main window), else `fallback`.
QWidget* dialogParent(QWidget* fallback);
// Makes a dialog stay above its parent when the parent stays on top of other windows.
void keepAboveParent(QWidget& dialog);
// The spin boxes and combo boxes under `root` take the mouse wheel only when they have the
// focus: a wheel rolled over a form scrolls the form and changes no value on its way.
void wheelOnlyWhenFocused(QWidget* root);

// Gives the buttons, check boxes, tabs and labelled fields of `window` their Alt-keys: the
// first letter of each text that no earlier one took (marked with '&'), and the same key
// in the other keyboard layout (Latin ↔ Cyrillic), so that Alt+letter works in either.
// Called again after the texts change (a language switch).
// `reserved`: letters the window around takes already (the main window's menus).
void assignMnemonics(QWidget* window, const QString& reserved = {});

// A number the user typed: blanks around it are allowed, and "," is taken as the decimal
// sign as well as "."; nothing when it is not a number.
std::optional<double> parseUserNumber(const QString& text);
// The typed text as it is kept: trimmed, with "," turned into ".".
QString normalizedNumberText(const QString& text);

// A spin box for decimal numbers that takes "," as the decimal sign as well as ".".
class DecimalSpinBox : public QDoubleSpinBox {
 public:
  using QDoubleSpinBox::QDoubleSpinBox;

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  double valueFromText(const QString& text) const override;
};

// Writes every non-empty text of the active language into the named property of the
// window's components. Keys listed in `skip` are left alone.
void translateWindow(QWidget* window, std::span<const TranslationEntry> table, const Translator& tr,
                     std::initializer_list<std::string_view> skip = {});

// The folder a file dialog starts in: `sub` beside the program (created when missing), or
// the user's documents folder where that folder cannot be created or written.
QString startFolder(const QString& sub);

// A file dialog with one or more filters ("Description|*.a *.b" each); empty text on
// Cancel. A saved name without a suffix takes the chosen filter's first one.
QString runFileDialog(QWidget* parent, bool save, const QString& title, const QString& folder, const QString& proposed,
                      const QStringList& filters);

// A window that would open off every screen is brought back onto the primary one.
void pullIntoView(QWidget& w);

// Picture `index` (0..14) of the program's toolbar image list.
QIcon toolbarIcon(int index);

}  // namespace velmora
