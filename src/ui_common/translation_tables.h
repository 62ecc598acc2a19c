#pragma once
// The translation tables of the subsystems that have no lookup of their own (the main
// window's and the calibration window's are in translations.h).
#include "ui_common/translations.h"

namespace velmora {

std::span<const TranslationEntry> comparisonTable();
std::span<const TranslationEntry> networkTable();

}  // namespace velmora
