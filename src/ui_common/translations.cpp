// Looking texts up: one table per window or subsystem (resources/texts/*.tsv, made into sources
// by the build), searched the same way; the list of the texts shown as messages.
#include "ui_common/translation_tables.h"

namespace velmora {

// The texts the program shows as messages — in a box, or as a warning in a status line —
// each of which the guide's troubleshooting page explains.
constexpr std::string_view kMessageIds[] = {
    "IDS_53", "IDS_54", "IDS_77", "IDS_78", "IDS_1", "IDS_2", "IDS_5", "IDS_6", "IDS_11", "IDS_12",
    "msgUnsaved", "msgRemoveUnsaved", "inPortInUse", "msgUsbTooLong", "msgJournalFound", "msgDiscardConfirm", "msgJournalRestored", "msgTablesFound",
    "msgTablesDiscardConfirm", "msgTablesNotStored", "msgJournalUnreadable", "msgJournalNotRestored", "msgJournalDamaged",
    "msgJournalBaseMissing", "msgReconnecting", "msgNoValidReadings", "msgPortNotOpened", "msgUsbNotOpened", "msgChoosePort",
    "msgAwaitingAdapter", "msgStale", "msgJournalFailing", "msgCannotOpen", "msgCannotWrite", "msgExported",
    "msgActualInvalid", "msgTableFull", "msgNoValuesInSpan", "msgPointAdded", "msgPointOtherInstrument", "msgTooFewPoints1", "msgTooFewPoints2",
    "msgTooFewPointsPositive", "fwQuestion", "msgVerifiedLong", "msgVerifyDiffers", "msgReadBackFailed", "rpSaved",
    "rpWriteFailed", "nwNoAddress", "nwBadScheme", "nwBadHostOrPort", "nwNoStation", "nwUnreadable", "nwCertKey", "nwPasswordNotSaved",
    "nwNotConnected", "lvNotConnected", "lvLost", "lvNoUrl", "bnStopToQuit", "bnStopToClose", "bnBathSilent", "bnRecNotStable", "bnRecLeftOut", "bnRecNotReached", "bnRecReferenceOff", "bnRecNoProbe",
    "bnNotSettled", "bnFarFromSetPoint", "bnRecordNotSaved", "bnStoppedAtMissed", "ctNoCertificateFor",
    "bnWritten", "bnResumeQuestion", "bnResumeAsLeftQuestion", "bnSetAsideDone", "bnBadSetPoints", "bnNoProbeFile", "bnNoSetPoints", "bnNoProbes",
    "bnNoRule", "bnNoReference", "bnNoFactors", "bnProbeUnreadable", "bnProbeDamaged", "bnBathNotOpened",
    "bnJournalNotOpened", "bnResumeChannels", "bnResumeMissing", "bnRemoved", "bnNothingToWrite", "bnNothingWritten", "ctSaved", "ctWriteFailed", "ctDccInvalid", "ctSignFailed", "bnRefOverdueRefused",
};

std::span<const std::string_view> messageIds() { return kMessageIds; }


std::string_view Translator::lookup(std::span<const TranslationEntry> table, Section section,
                                    std::string_view key) const {
  for (const auto& e : table)
    if (e.section == section && e.key == key) return e.text(m_language);
  return {};
}

std::string_view Translator::text(std::string_view id) const {
  auto t = lookup(mainWindowTable(), Section::Strings, id);
  if (t.empty()) t = lookup(networkTable(), Section::Strings, id);
  if (t.empty()) t = lookup(comparisonTable(), Section::Strings, id);
  return t.empty() ? lookup(calibrationWindowTable(), Section::Strings, id) : t;
}

std::string_view Translator::plural(std::string_view id, long long n) const {
  const std::string_view forms = text(id);
  const long long a = n < 0 ? -n : n;
  std::size_t form;
  if (m_language == Language::Russian)
    form = a % 10 == 1 && a % 100 != 11 ? 0 : a % 10 >= 2 && a % 10 <= 4 && (a % 100 < 12 || a % 100 > 14) ? 1 : 2;
  else
    form = a == 1 ? 0 : 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i < form; ++i) {
    const std::size_t bar = forms.find('|', start);
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  const std::size_t end = forms.find('|', start);
  return forms.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string_view Translator::dialogWord(std::string_view key) const {
  return lookup(mainWindowTable(), Section::DlgsCaptions, key);
}

}  // namespace velmora
