// The lab network's texts (its settings, the status field, the lab view).
#include "ui_common/translation_tables.h"

namespace velmora {
namespace {

using S = Section;

// The lab network: its settings, the status-bar field and the lab view.
constexpr TranslationEntry kNetwork[] = {
    {S::Strings, "miNetwork", "Сеть лаборатории…", "Lab network…"},
    {S::Strings, "miLabView", "Обзор лаборатории…", "Lab view…"},
    {S::Strings, "nwTitle", "Сеть лаборатории", "Lab network"},
    {S::Strings, "nwPublish", "Публиковать каждое значение на брокере MQTT", "Publish every reading to an MQTT broker"},
    {S::Strings, "nwUrl", "Адрес брокера", "Broker address"},
    {S::Strings, "nwUrlHint", "tcp://брокер:1883 или ssl://брокер:8883", "tcp://broker:1883 or ssl://broker:8883"},
    {S::Strings, "nwStation", "Имя станции", "Station name"},
    {S::Strings, "nwUser", "Пользователь", "User"},
    {S::Strings, "nwPassword", "Пароль", "Password"},
    {S::Strings, "nwTls", "TLS (для адреса ssl://)", "TLS (for an ssl:// address)"},
    {S::Strings, "nwCa", "Сертификат ЦС брокера", "Broker's CA certificate"},
    {S::Strings, "nwCert", "Сертификат клиента", "Client certificate"},
    {S::Strings, "nwKey", "Ключ клиента", "Client key"},
    {S::Strings, "nwBrowse", "Обзор…", "Browse…"},
    {S::Strings, "nwNoAddress", "Не указан адрес брокера.", "No broker address given."},
    {S::Strings, "nwBadScheme", "Адрес должен начинаться с tcp://, ssl://, mqtt:// или mqtts://.",
     "The address must start with tcp://, ssl://, mqtt:// or mqtts://."},
    {S::Strings, "nwNoStation", "Не указано имя станции.", "No station name given."},
    {S::Strings, "nwUnreadable", "Не удаётся прочитать %1: %2", "Cannot read %1: %2"},
    {S::Strings, "nwCertKey", "Сертификату клиента нужен ключ, а ключу — сертификат.",
     "A client certificate needs its key, and a key its certificate."},
    {S::Strings, "nwPasswordNotSaved", "Пароль не сохранён: %1", "The password was not saved: %1"},
    {S::Strings, "nwOff", "MQTT: выкл.", "MQTT: off"},
    {S::Strings, "nwConnected", "MQTT: подключено", "MQTT: connected"},
    {S::Strings, "nwConnecting", "MQTT: подключение", "MQTT: connecting"},
    {S::Strings, "nwNotConnected", "MQTT: нет связи", "MQTT: not connected"},
    {S::Strings, "nwWaiting", "ждёт %1", "waiting %1"},
    {S::Strings, "nwDropped", "диск полон, потеряно %1", "disk full, %1 dropped"},
    {S::Strings, "lvTitle", "Обзор лаборатории — %1", "Lab view — %1"},
    {S::Strings, "lvStation", "Станция", "Station"},
    {S::Strings, "lvInstrument", "Прибор", "Instrument"},
    {S::Strings, "lvLast", "Последнее", "Last reading"},
    {S::Strings, "lvAge", "Давность", "Age"},
    {S::Strings, "lvStatus", "Состояние", "Status"},
    {S::Strings, "lvConnecting", "Подключение к %1…", "Connecting to %1…"},
    {S::Strings, "lvConnected", "Подключено к %1", "Connected to %1"},
    {S::Strings, "lvNotConnected", "Нет связи с %1: %2", "Not connected to %1: %2"},
    {S::Strings, "lvLost", "Обзор лаборатории потерял связь с %1 (%2): в таблице последнее полученное состояние станций.",
     "The lab view lost its connection to %1 (%2): the table shows the stations as last received."},
    {S::Strings, "lvNoUrl", "Сначала укажите адрес брокера в настройках сети лаборатории.",
     "Set the broker's address in the lab network settings first."},
    {S::Strings, "lvSelect", "Выберите прибор, чтобы увидеть его график.", "Select an instrument to see its chart."},
    {S::Strings, "lvOffline", "не в сети", "offline"},
    {S::Strings, "lvSeconds", "%1 с", "%1 s"},
    {S::Strings, "lvMinutes", "%1 мин", "%1 min"},
    {S::Strings, "lvHours", "%1 ч", "%1 h"},
    {S::Strings, "lvDays", "%1 сут", "%1 d"},
};

}  // namespace

std::span<const TranslationEntry> networkTable() { return kNetwork; }

}  // namespace velmora
