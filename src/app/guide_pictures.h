#pragma once
// velmora --pictures DIR: the guide's pictures taken from the running program — the main
// window recording the demo instruments, the instruments and statistics panels, the
// calibration window, the comparison bench, the lab network's settings and the guide itself,
// each in English and Russian (<name>-en.png, <name>-ru.png) — then the program ends.
#include <QString>
#include <functional>

class QWidget;

namespace velmora {

class ComparisonBench;
class TfmMain;

// `extraDialog` makes a further dialog for a picture (the lab network's settings) or nothing.
void takeGuidePictures(TfmMain& window, ComparisonBench& bench, const QString& folder,
                       std::function<QWidget*(QWidget* parent)> networkDialog);

}  // namespace velmora
