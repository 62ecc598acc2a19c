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
    {S::Strings, "msgJournalFound",
     "Программа не была закрыта как следует. В журнале записи остались несохраненные данные (%1 новое значение). Восстановить их?|"
     "Программа не была закрыта как следует. В журнале записи остались несохраненные данные (%1 новых значения). Восстановить их?|"
     "Программа не была закрыта как следует. В журнале записи остались несохраненные данные (%1 новых значений). Восстановить их?",
     "Velmora did not close normally last time. Its recording journal holds a reading that was not saved (%1 recorded). Restore it?|"
     "Velmora did not close normally last time. Its recording journal holds readings that were not saved (%1 recorded). Restore them?"},
    {S::Strings, "msgRestore", "Восстановить", "Restore"},
    {S::Strings, "msgDiscard", "Удалить", "Discard"},
    {S::Strings, "msgNotNow", "Не сейчас", "Not now"},
    {S::Strings, "msgDiscardConfirm",
     "Удалить журнал с %1 несохраненным значением безвозвратно?|Удалить журнал с %1 несохраненными значениями безвозвратно?|"
     "Удалить журнал с %1 несохраненными значениями безвозвратно?",
     "Delete the journal with its %1 unsaved reading for good?|Delete the journal with its %1 unsaved readings for good?"},
    {S::Strings, "msgJournalRestored", "Восстановлено %1 значение.|Восстановлено %1 значения.|Восстановлено %1 значений.",
     "%1 reading restored.|%1 readings restored."},
    {S::Strings, "msgTablesFound",
     "Программа не была закрыта как следует. Таблицы калибровки с несохраненными изменениями остались. Восстановить их?",
     "Velmora did not close normally last time. Calibration tables with changes that were not stored were kept. Restore them?"},
    {S::Strings, "msgTablesDiscardConfirm", "Удалить сохраненные таблицы калибровки безвозвратно?",
     "Delete the kept calibration tables for good?"},
    {S::Strings, "msgTablesNotStored", "В таблицах калибровки есть изменения, которые не сохранены. Сохранить их?",
     "The calibration tables have changes that were not stored. Store them?"},
    {S::Strings, "msgJournalUnreadable", "Журнал записи не удалось прочитать. Он сохранен как %1.",
     "A recording journal could not be read. It has been kept as %1."},
    {S::Strings, "msgJournalNotRestored", "Значения из журнала восстановить не удалось. Журнал сохранен: %1.",
     "The readings of the journal could not be restored. The journal has been kept: %1."},
    {S::Strings, "msgJournalDamaged", "Конец журнала был поврежден; восстановлено все, что записано до повреждения.",
     "The end of the journal was damaged; everything recorded before the damage was restored."},
    {S::Strings, "msgJournalBaseMissing", "Файл данных, который продолжали эти значения, прочитать не удалось; восстановлены только значения, записанные после него.",
     "The data file these readings continued could not be read; only the readings recorded after it were restored."},
    {S::Strings, "msgReconnecting", "Переподключение… (попытка %1)", "Reconnecting… (attempt %1)"},
    {S::Strings, "msgNoValidReadings", "От прибора нет правильных значений", "No valid readings from the instrument"},
    {S::Strings, "msgPortCaption", "Порт", "Port"},
    {S::Strings, "msgPortNotOpened", "Порт %1 не удалось открыть: %2.", "The port %1 could not be opened: %2."},
    {S::Strings, "msgUsbNotOpened", "Адаптер USB не подключен.", "The USB adapter is not connected."},
    {S::Strings, "msgUnknownReason", "причина неизвестна", "no reason given"},
    {S::Strings, "msgChoosePort", "Выберите порт прибора в меню «Порт» (DEMO — встроенный демонстрационный термометр).",
     "Choose the instrument's port in the port menu (DEMO is the built-in demo thermometer)."},
    {S::Strings, "msgAwaitingAdapter", "Адаптер USB №%1 отключен: ожидание его возвращения",
     "USB adapter №%1 removed: waiting for it to come back"},
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
    {S::Strings, "msgCannotOpen", "Не удалось открыть %1: %2", "Cannot open %1: %2"},
    {S::Strings, "msgCannotWrite", "Не удалось записать %1: %2", "Cannot write %1: %2"},
    {S::Strings, "msgExported", "Экспортировано %1 значение в %2.|Экспортировано %1 значения в %2.|Экспортировано %1 значений в %2.",
     "%1 reading exported to %2.|%1 readings exported to %2."},
    {S::Strings, "msgExportCsvTitle", "Экспорт в CSV", "Export to CSV"},
    {S::Strings, "miExportCsv", "Экспорт в CSV (все значения)…", "Export CSV (all readings)…"},
    {S::Strings, "miExportCsvVisible", "Экспорт в CSV (видимый участок)…", "Export CSV (visible range)…"},
    {S::Strings, "miClockTime", "Время суток на оси", "Clock time axis"},
    {S::Strings, "msgClockAxis", "время", "time"},
    {S::Strings, "axDays", "сут", "d"},
    {S::Strings, "tipChartMenu", "Меню графика", "Chart menu"},
    {S::Strings, "msgChartHint",
     "График: протяните вправо-вниз — увеличить, влево-вверх — отменить, правой кнопкой — сдвинуть; колесо — масштаб времени (Ctrl — температуры); Shift — участок",
     "Chart: drag down-right to zoom, up-left to undo, with the right button to pan; wheel zooms time (Ctrl: temperature); Shift-drag selects a span"},
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
    {S::Strings, "stDrift", "Дрейф за минуту", "Drift per minute"},
    {S::Strings, "stTemperature", "T, °C", "T, °C"},
    {S::Strings, "stResistance", "R, Ом", "R, Ohm"},
    {S::Strings, "stStability", "Стабильность", "Stability"},
    {S::Strings, "stWindow", "За последние, мин", "Over the last, min"},
    {S::Strings, "stThreshold", "Допуск размаха, °C", "Peak-to-peak within, °C"},
    {S::Strings, "stStable", "Стабильно: в допуске %1 мин", "Stable: within the threshold for %1 min"},
    {S::Strings, "stUnstable", "Нестабильно: размах %1 °C", "Not stable: peak-to-peak %1 °C"},
    {S::Strings, "stAddPoint", "Добавить как точку калибровки", "Add as calibration point"},
    {S::Strings, "msgActualTitle", "Точка калибровки", "Calibration point"},
    {S::Strings, "msgActualPrompt", "Измеренное значение %1 (n = %2). Эталонная температура, °C:",
     "Measured value %1 (n = %2). Reference temperature, °C:"},
    {S::Strings, "msgActualInvalid", "'%1' не является числом", "'%1' is not a number"},
    {S::Strings, "msgTableFull", "Таблица калибровки заполнена: свободных строк нет.", "The calibration table is full: no free row left."},
    {S::Strings, "msgNoValuesInSpan", "На выбранном участке нет значений нужного типа.", "The chosen stretch holds no readings of the data type in use."},
    {S::Strings, "msgPointAdded", "Точка добавлена в строку %1 таблицы калибровки.", "Point added to row %1 of the calibration table."},
    {S::Strings, "tipPoint", "n = %1, СКО = %2, %3 – %4", "n = %1, std. deviation = %2, %3 – %4"},
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
    // Beyond the designed texts: checks, verification, residuals and the report.
    {S::Strings, "msgTooFewPointsPositive", "Для метода 2 нужны точки хотя бы при трех разных температурах не ниже 0 °C.",
     "Method 2 needs points at three or more different temperatures at or above 0 °C."},
    {S::Strings, "fwMethodFits",
     "Для этих точек подходит метод %1: выберите его в меню кнопки расчета (правая кнопка мыши, клавиша меню или Shift+F10).|"
     "Для этих точек подходят методы %1: выберите один из них в меню кнопки расчета (правая кнопка мыши, клавиша меню или Shift+F10).|"
     "Для этих точек подходят методы %1: выберите один из них в меню кнопки расчета (правая кнопка мыши, клавиша меню или Shift+F10).",
     "Method %1 fits these points: choose it in the Calc button's menu (right click, the Menu key or Shift+F10).|"
     "Methods %1 fit these points: choose one in the Calc button's menu (right click, the Menu key or Shift+F10)."},
    {S::Strings, "fwNoMethodFits", "Ни один метод не подходит: нужны точки хотя бы при трех разных эталонных температурах.",
     "No method fits these points: at least three different reference temperatures are needed."},
    {S::Strings, "fwTooFewTemps", "Различных эталонных температур: %1; методу %2 нужно не меньше %3.",
     "Different reference temperatures: %1; method %2 needs at least %3."},
    {S::Strings, "fwExcluded", "Исключено строк: %1; осталось различных эталонных температур: %2, а методу %3 нужно %4.",
     "Excluded rows: %1; different reference temperatures left: %2; method %3 needs %4."},
    {S::Strings, "fwOneBelowZero", "Ниже 0 °C только одна точка: коэффициент C определяется по одной точке.",
     "Only one point below 0 °C: factor C rests on a single point."},
    {S::Strings, "fwNoneNearZero", "Нет точки в пределах 5 °C от 0 °C: R0 определяется плохо.",
     "No point within 5 °C of 0 °C: R0 is poorly determined."},
    {S::Strings, "fwQuestion", "Точки могут не обеспечить этот расчет:\n\n%1\n\nВсе равно рассчитать?",
     "The points may not support this calculation:\n\n%1\n\nCalculate anyway?"},
    {S::Strings, "btTakePoint", "Точка", "Point"},
    {S::Strings, "tipTakePoint", "Добавить точку: среднее за участок, описанный панелью статистики главного окна",
     "Add a point: the mean over the stretch the main window's statistics panel describes"},
    {S::Strings, "cbVerify", "Проверка", "Verify"},
    {S::Strings, "tipVerify", "После записи прочитать коэффициенты из прибора и сравнить их с записанными",
     "After a write, read the factors back from the instrument and compare them with those written"},
    {S::Strings, "msgVerified", "проверено", "verified"},
    {S::Strings, "msgVerifiedLong", "Коэффициенты прочитаны из прибора и совпадают с записанными.",
     "The factors read back from the instrument match those written."},
    {S::Strings, "msgVerifyDiffers", "Прибор хранит другие значения: %1", "The instrument holds different values: %1"},
    {S::Strings, "tipVerifyHeld", "Прибор хранит %1; «Записать» отправит это значение снова",
     "The instrument holds %1; Write sends this value again"},
    {S::Strings, "msgVerifyEntry", "%1 записано %2, прочитано %3", "%1 written %2, read %3"},
    {S::Strings, "msgReadBackFailed", "Не удалось прочитать коэффициенты для проверки: %1",
     "The factors could not be read back for verification: %1"},
    {S::Strings, "msgNoAnswer", "прибор не ответил", "the instrument did not answer"},
    {S::Strings, "btResiduals", "График", "Plot"},
    {S::Strings, "tipResiduals", "График отклонений точек от расчетной кривой", "Plot of each point's deviation from the fit"},
    {S::Strings, "fmResiduals", "Отклонения точек", "Deviations of the points"},
    {S::Strings, "axResidual", "отклонение, °C", "deviation, °C"},
    {S::Strings, "axActual", "эталонная температура, °C", "reference temperature, °C"},
    {S::Strings, "btReport", "Отчет", "Report"},
    {S::Strings, "miReport", "Отчет о калибровке…", "Calibration report…"},
    {S::Strings, "fmReport", "Отчет о калибровке", "Calibration report"},
    {S::Strings, "rpProbe", "Серийный номер датчика", "Probe serial number"},
    {S::Strings, "rpOperator", "Оператор", "Operator"},
    {S::Strings, "rpReference", "Эталонный термометр", "Reference thermometer"},
    {S::Strings, "rpNotes", "Примечания", "Notes"},
    {S::Strings, "rpDate", "Дата и время", "Date and time"},
    {S::Strings, "rpMethod", "Метод расчета", "Calculation method"},
    {S::Strings, "rpDataType", "Тип данных", "Data type"},
    {S::Strings, "rpResistance", "сопротивление, Ом", "resistance, Ohm"},
    {S::Strings, "rpTemperature", "температура, °C", "temperature, °C"},
    {S::Strings, "rpFactors", "Коэффициенты", "Factors"},
    {S::Strings, "rpPoints", "Точки калибровки", "Calibration points"},
    {S::Strings, "rpRow", "Строка", "Row"},
    {S::Strings, "rpMeasured", "Измерено", "Measured"},
    {S::Strings, "rpMeasuredOhm", "Измерено, Ом", "Measured, Ohm"},
    {S::Strings, "rpMeasuredC", "Измерено, °C", "Measured, °C"},
    {S::Strings, "rpCount", "n", "n"},
    {S::Strings, "rpSdOhm", "СКО, Ом", "Std. dev., Ohm"},
    {S::Strings, "rpSdC", "СКО, °C", "Std. dev., °C"},
    {S::Strings, "rpSpan", "Время измерения", "Measured from – to"},
    {S::Strings, "rpOldEmpty", "«Старые»: коэффициенты не были прочитаны из прибора перед калибровкой.",
     "Old: the factors were not read from the instrument before this calibration."},
    {S::Strings, "rpActual", "Эталон, °C", "Actual, °C"},
    {S::Strings, "rpDeviation", "Отклонение, °C", "Deviation, °C"},
    {S::Strings, "rpExcluded", "исключена", "excluded"},
    {S::Strings, "rpFitError", "Ошибка аппроксимации E (СКО отклонений) = %1 °C, наибольшее |отклонение| = %2 °C",
     "Fit error E (RMS of the deviations) = %1 °C, largest |deviation| = %2 °C"},
    {S::Strings, "rpNoFit", "Отклонения не рассчитаны (нет коэффициентов «Новые»).", "No deviations (no \"New\" factors)."},
    {S::Strings, "rpSaveTitle", "Сохранение отчета", "Save report"},
    {S::Strings, "rpFilter", "Отчет PDF|*.pdf", "PDF report|*.pdf"},
    {S::Strings, "rpSaved", "Отчет сохранен: %1\nТочки: %2", "Report saved: %1\nPoints: %2"},
    {S::Strings, "rpWriteFailed", "Не удалось записать отчет %1", "The report %1 could not be written"},
    {S::Strings, "rpCreate", "Создать", "Create"},
    {S::Strings, "rpR0", "R0 [Ом]", "R0 [Ohm]"},
    {S::Strings, "rpFilePrefix", "Отчет_", "Report_"},
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
  return lookup(kMain, Section::DlgsCaptions, key);
}

}  // namespace velmora
