#pragma once
// The two-language tables of the main window and the calibration window. Each entry names a
// component (or a message identifier) and gives its Russian and English text. Message texts
// are looked up by identifier in the active language at the moment a message is composed.

#include <span>
#include <string_view>

namespace velmora {

enum class Language { Russian = 1, English = 2 };

enum class Section {
  Captions,      // caption of the named window, menu item, label, button or check box
  Fonts,         // font family of the named component
  CharSets,      // font character set of the named component (kept for completeness)
  MultiLines,    // "component.property": comma-separated list items
  DlgsCaptions,  // titles and button words of the standard message boxes
  Strings,       // message identifiers
  OtherStrings,  // "component.property": any other text property
};

struct TranslationEntry {
  Section section;
  std::string_view key;
  std::string_view ru;
  std::string_view en;

  std::string_view text(Language lang) const { return lang == Language::Russian ? ru : en; }
};

std::span<const TranslationEntry> mainWindowTable();
std::span<const TranslationEntry> calibrationWindowTable();
// The identifiers of the texts the program shows as messages (boxes, status-line warnings).
std::span<const std::string_view> messageIds();

// Message lookup over both windows' tables. The language is shared by both windows; the
// main window sets it.
class Translator {
 public:
  Language language() const { return m_language; }
  void setLanguage(Language lang) { m_language = lang; }

  // Text of a message identifier ("IDS_53", "strPORT_PREFFIX") in the active language;
  // an unknown identifier gives an empty text.
  std::string_view text(std::string_view id) const;
  // A text with a count: the entry holds the language's plural forms separated by "|"
  // (English: one, other; Russian: one, few, many), and the form for `n` is returned.
  std::string_view plural(std::string_view id, long long n) const;
  // Word of the standard message boxes ("OK", "Error", ...).
  std::string_view dialogWord(std::string_view key) const;
  // Any entry of a table by section and key in the active language; empty when absent.
  std::string_view lookup(std::span<const TranslationEntry> table, Section section, std::string_view key) const;

 private:
  Language m_language = Language::English;
};

}  // namespace velmora
