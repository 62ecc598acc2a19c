#include "ui_common/translations.h"

namespace velmora {
namespace {

using S = Section;

// Main window. "СОМ" in the port caption is written with Cyrillic letters.
constexpr TranslationEntry kMain[] = {
    {S::Captions, "fmMain", "Velmora", "Velmora"},
    {S::Captions, "miPort", "Порт: СОМ1", "Port: COM1"},
    {S::Captions, "miFile", "Файл", "File"},
    {S::Captions, "miOpen", "Открыть", "Open"},
    {S::Captions, "miSave", "Сохранить", "Save"},
    {S::Captions, "miToClipboard", "В буфер обмена", "To clipboard"},
    {S::Captions, "miExit", "Выход", "Exit"},
    {S::Captions, "miTune", "Настройка", "Setup"},
    {S::Captions, "miSelectView", "Таблица", "List"},
    {S::Captions, "miRecord", "Регистрация", "Record"},
    {S::Captions, "lbTablo", "0.0", ""},
    {S::Captions, "miHelp", "?", ""},
    {S::Captions, "miClear", "Очистка", "Clear"},
    {S::Captions, "miCatch", "Захват", "Catch"},
    {S::Captions, "miYAuto", "Авто Y", "Auto Y"},
    {S::Captions, "miXAuto", "Авто X", "Auto X"},
    {S::Captions, "lbFlow", "Запись значений/мин", "Recording data/min"},
    {S::Captions, "btClb", "Калибровка", "Calibration"},
    {S::Captions, "cbReconnect", "Повтор связи", "Reconnect"},
    {S::Captions, "lbReconnectLimit", "мин", "min"},
    {S::Captions, "cbAxis", "Настройка осей", "Axes setup"},

    {S::Fonts, "fmMain", "MS Sans Serif", "MS Sans Serif"},
    {S::Fonts, "TBToolbar", "MS Sans Serif", "MS Sans Serif"},
    {S::Fonts, "lbTablo", "MS Sans Serif", "MS Sans Serif"},
    {S::Fonts, "edYstart", "MS Sans Serif", "MS Sans Serif"},
    {S::Fonts, "edYrange", "MS Sans Serif", "MS Sans Serif"},
    {S::Fonts, "edXrange", "MS Sans Serif", "MS Sans Serif"},
    {S::Fonts, "btClb", "MS Sans Serif", "MS Sans Serif"},
    {S::Fonts, "StatusBar", "Tahoma", "Tahoma"},
    {S::Fonts, "reRX", "Courier", "Courier"},

    {S::CharSets, "fmMain", "DEFAULT_CHARSET", "DEFAULT_CHARSET"},
    {S::CharSets, "TBToolbar", "RUSSIAN_CHARSET", "DEFAULT_CHARSET"},
    {S::CharSets, "lbTablo", "DEFAULT_CHARSET", "DEFAULT_CHARSET"},
    {S::CharSets, "edYstart", "DEFAULT_CHARSET", "DEFAULT_CHARSET"},
    {S::CharSets, "edYrange", "DEFAULT_CHARSET", "DEFAULT_CHARSET"},
    {S::CharSets, "edXrange", "DEFAULT_CHARSET", "DEFAULT_CHARSET"},
    {S::CharSets, "btClb", "DEFAULT_CHARSET", "DEFAULT_CHARSET"},
    {S::CharSets, "StatusBar", "DEFAULT_CHARSET", "DEFAULT_CHARSET"},
    {S::CharSets, "reRX", "ANSI_CHARSET", "ANSI_CHARSET"},

    {S::DlgsCaptions, "Warning", "Warning", "Warning"},
    {S::DlgsCaptions, "Error", "Error", "Error"},
    {S::DlgsCaptions, "Information", "Information", "Information"},
    {S::DlgsCaptions, "Confirm", "Confirm", "Confirm"},
    {S::DlgsCaptions, "Yes", "&Yes", "&Yes"},
    {S::DlgsCaptions, "No", "&No", "&No"},
    {S::DlgsCaptions, "OK", "OK", "OK"},
    {S::DlgsCaptions, "Cancel", "Cancel", "Cancel"},
    {S::DlgsCaptions, "Abort", "&Abort", "&Abort"},
    {S::DlgsCaptions, "Retry", "&Retry", "&Retry"},
    {S::DlgsCaptions, "Ignore", "&Ignore", "&Ignore"},
    {S::DlgsCaptions, "All", "&All", "&All"},
    {S::DlgsCaptions, "NoToAll", "N&o to All", "N&o to All"},
    {S::DlgsCaptions, "YesToAll", "Yes to &All", "Yes to &All"},
    {S::DlgsCaptions, "Help", "&Help", "&Help"},

    {S::Strings, "IDS_53", "Обмен данными с термометром нарушен !", "Communication error!"},
    {S::Strings, "IDS_54", "Проверьте правильность подключения", "Check cable connection"},
    {S::Strings, "IDS_55", "Ом ", "Ohm"},
    {S::Strings, "IDS_65", "t, мин", "t, min"},
    {S::Strings, "IDS_66", "Авто", "Auto"},
    {S::Strings, "IDS_67", "мин", "min"},
    {S::Strings, "IDS_70", "Температура T=", "Temperature T="},
    {S::Strings, "IDS_71", ",  время t=", ", time t="},
    {S::Strings, "IDS_77", "Копия графика помещена в буфер обмена", "Chart has been copied into clipboard"},
    {S::Strings, "IDS_78", "Копия таблицы помещена в буфер обмена", "List has been copied into clipboard"},
    {S::Strings, "strPORT_PREFFIX", "Порт: ", "Port:"},
    // Asked before readings that were not saved would be discarded.
    {S::Strings, "msgUnsaved", "Данные не сохранены. Сохранить их?", "The readings have not been saved. Save them now?"},
    {S::Strings, "msgLine", "строка", "line"},
    {S::Strings, "msgUsbTooLong", "Команда не помещается в отчет USB", "Command too long for the USB adapter"},
    {S::Strings, "msgJournalFound", "Программа не была закрыта как следует. В журнале записи остались несохраненные данные (%1 новых значений). Восстановить их?",
     "Velmora did not close normally last time. Its recording journal holds readings that were not saved (%1 recorded). Restore them?"},
    {S::Strings, "msgRestore", "Восстановить", "Restore"},
    {S::Strings, "msgDiscard", "Удалить", "Discard"},
    {S::Strings, "msgJournalRestored", "Восстановлено значений: %1.", "%1 readings restored."},
    {S::Strings, "msgJournalDamaged", "Конец журнала был поврежден; восстановлено все, что записано до повреждения.",
     "The end of the journal was damaged; everything recorded before the damage was restored."},
    {S::Strings, "msgJournalBaseMissing", "Файл данных, который продолжали эти значения, прочитать не удалось; восстановлены только значения, записанные после него.",
     "The data file these readings continued could not be read; only the readings recorded after it were restored."},
    {S::Strings, "msgReconnecting", "Переподключение… (попытка %1)", "Reconnecting… (attempt %1)"},
    {S::Strings, "msgNoValidReadings", "От прибора нет правильных значений", "No valid readings from the instrument"},
    {S::Strings, "msgStale", "Значение получено %1 с назад", "Reading received %1 s ago"},
    {S::Strings, "msgJournalFailing", "Журнал записи не сохраняется на диск", "The recording journal is not being written"},

    {S::OtherStrings, "SaveDialog.Title", "Сохранение данных", "Store data"},
    {S::OtherStrings, "OpenDialog.Title", "Загрузка данных", "Load data"},
    {S::OtherStrings, "SaveDialog.Filter", "Velmora data files|*.vmd", "Velmora data files|*.vmd"},
    // Beyond the designed texts: clock time, CSV files and the statistics panel.
    {S::OtherStrings, "SaveDialog.FilterVmd", "Данные Velmora: только время и температура|*.vmd",
     "Velmora data files: time and temperature only|*.vmd"},
    {S::OtherStrings, "SaveDialog.FilterCsv", "CSV: все значения (время суток, сопротивление, температура)|*.csv",
     "CSV: every value (clock time, resistance, temperature)|*.csv"},
    {S::OtherStrings, "ExportDialog.FilterCsv", "Файлы CSV|*.csv", "CSV files|*.csv"},
    {S::OtherStrings, "OpenDialog.FilterAll", "Данные Velmora и CSV|*.vmd *.csv", "Velmora data and CSV files|*.vmd *.csv"},
    {S::Strings, "msgExportCsvTitle", "Экспорт в CSV", "Export to CSV"},
    {S::Strings, "miExportCsv", "Экспорт в CSV (все значения)…", "Export CSV (all readings)…"},
    {S::Strings, "miExportCsvVisible", "Экспорт в CSV (видимый участок)…", "Export CSV (visible range)…"},
    {S::Strings, "miClockTime", "Время суток на оси", "Clock time axis"},
    {S::Strings, "msgClockAxis", "время", "time"},
    {S::Strings, "miStats", "Статистика", "Statistics"},
    {S::Strings, "stVisible", "Видимый участок", "Visible range"},
    {S::Strings, "stSpan", "Выделенный участок", "Selected span"},
    {S::Strings, "stNoReadings", "нет значений", "no readings"},
    {S::Strings, "stClearSpan", "Снять выделение", "Clear span"},
    {S::Strings, "stHint", "Shift + перетаскивание на графике выделяет участок", "Shift-drag on the chart selects a span"},
    {S::Strings, "stCount", "Число значений", "Readings"},
    {S::Strings, "stMean", "Среднее", "Mean"},
    {S::Strings, "stSd", "Ст. отклонение", "Std. deviation"},
    {S::Strings, "stMin", "Минимум", "Minimum"},
    {S::Strings, "stMax", "Максимум", "Maximum"},
    {S::Strings, "stP2p", "Размах", "Peak-to-peak"},
    {S::Strings, "stDrift", "Дрейф, 1/мин", "Drift, per min"},
    {S::Strings, "stTemperature", "T, °C", "T, °C"},
    {S::Strings, "stResistance", "R, Ом", "R, Ohm"},
    {S::Strings, "stStability", "Стабильность", "Stability"},
    {S::Strings, "stWindow", "За последние, мин", "Over the last, min"},
    {S::Strings, "stThreshold", "Допуск размаха, °C", "Peak-to-peak within, °C"},
    {S::Strings, "stStable", "Стабильно: в допуске %1 мин", "Stable: within for %1 min"},
    {S::Strings, "stUnstable", "Нестабильно: размах %1 °C", "Not stable: peak-to-peak %1 °C"},
    {S::Strings, "stAddPoint", "Добавить как точку калибровки", "Add as calibration point"},
    {S::Strings, "stTooShort", "Мало данных: нужно %1 мин", "Not enough readings: %1 min needed"},
};

// Calibration window. The Russian IDS_12 ends in the Cyrillic letter Es.
constexpr TranslationEntry kCalibr[] = {
    {S::Captions, "fmCalibr", "Расчет градуировочных коэффициентов термометра",
     "Calculate thermometer calibration factors"},
    {S::Captions, "rgRorT", "Измерение", "Data type"},
    {S::Captions, "gbData", "Исходные данные", "Input data"},
    {S::Captions, "gbCof", "Коэффициенты интерполяционного уравнения", "The factors of interpolation equation"},
    {S::Captions, "btLoad", "Загрузить", "Load"},
    {S::Captions, "btSave", "Сохранить", "Store"},
    {S::Captions, "btRead", "Считать", "Read"},
    {S::Captions, "btWrite", "Записать", "Write"},
    {S::Captions, "btCalc", "Расчет 1", "Calc #1"},
    {S::Captions, "pmCalc_N1", "Метод1: A, B и C - по всему набору данных",
     "Calc #1: A, B, C - based on all data values"},
    {S::Captions, "pmCalc_N2", "Метод2: A и B - по положительным значениям, C - по отрицательным",
     "Calc #2: A, B - based on positive, but C - on negative data values"},
    {S::Captions, "pmCalc_N3", "Метод3: A и B - по всему набору данных, C - игнорируется",
     "Calc #3: A, B - based on all data values, C - doesn't matter"},
    {S::Captions, "btError", "Δ", "Δ"},

    {S::MultiLines, "rgRorT.Items", "сопротивление,температура", "resistance,temperature"},

    {S::Strings, "IDS_0", "Расчет ", "Calc"},
    {S::Strings, "IDS_1", "Неверное значение", "Invalid value"},
    {S::Strings, "IDS_2", "Неверное значение коэффициента", "Invalid factor value"},
    {S::Strings, "IDS_5", "Исходные данные плохо обусловлены.", "Singular data."},
    {S::Strings, "IDS_6", "Невозможно вычислить коэффициенты.", "It is impossible to calculate factors."},
    {S::Strings, "IDS_11", "Слишком большая ошибка при измерениях.", "Too much error in the data."},
    {S::Strings, "IDS_12", "Невозможно определить коэффициент С.", "It is impossible to calculate factor C."},
    {S::Strings, "msgTooFewPoints1", "Для метода 1 нужны точки хотя бы при четырех разных температурах.",
     "Method 1 needs points at four or more different temperatures."},
    {S::Strings, "msgTooFewPoints2", "Для этого метода нужны точки хотя бы при трех разных температурах.",
     "This method needs points at three or more different temperatures."},
    {S::Strings, "IDS_14", " Старые", "Old"},
    {S::Strings, "IDS_15", " Новые", "New"},
    {S::Strings, "IDS_16", " Коэфф-ты", "Factors"},
    {S::Strings, "IDS_24", "измер.", "meas"},
    {S::Strings, "IDS_25", "[ Ом ]", "[Ohm]"},
    {S::Strings, "IDS_27", "действ.", "actual"},

    {S::OtherStrings, "SaveDialog.Title", "Сохранение данных", "Store data"},
    {S::OtherStrings, "OpenDialog.Title", "Загрузка данных", "Load data"},
    {S::OtherStrings, "SaveDialog.Filter", "Данные для градуировок|*.clb", "Данные для градуировок|*.clb"},
};

}  // namespace

std::span<const TranslationEntry> mainWindowTable() { return kMain; }
std::span<const TranslationEntry> calibrationWindowTable() { return kCalibr; }

std::string_view Translator::lookup(std::span<const TranslationEntry> table, Section section,
                                    std::string_view key) const {
  for (const auto& e : table)
    if (e.section == section && e.key == key) return e.text(m_language);
  return {};
}

std::string_view Translator::text(std::string_view id) const {
  auto t = lookup(kMain, Section::Strings, id);
  return t.empty() ? lookup(kCalibr, Section::Strings, id) : t;
}

std::string_view Translator::dialogWord(std::string_view key) const {
  return lookup(kMain, Section::DlgsCaptions, key);
}

}  // namespace velmora
