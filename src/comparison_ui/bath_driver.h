#pragma once
// The bath (or dry well) on a port of its own: set points sent as "s=…", the temperature
// asked for with "t" at a steady pace and reported as `reading`. A port that does not open is
// refused with the system's reason; a bath that stops answering is reported once
// (`silenceChanged(true)`), the driver goes on asking, and a later answer reports it back.
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include "comparison/bath_protocol.h"

namespace velmora {

class BathDriver : public QObject {
  Q_OBJECT
 public:
  explicit BathDriver(QObject* parent = nullptr);
  ~BathDriver() override;

  // Opens `port` (a device name or path) at `baud`, 8 data bits, no parity, one stop bit.
  // False with the reason in `why`.
  bool open(const QString& port, int baud, QString* why);
  void close();
  bool isOpen() const { return m_port.isOpen(); }
  QString portName() const { return m_name; }

  void setSetPoint(double celsius);
  void setScanRate(double perMinute);  // 0: as fast as the bath goes
  void setPollInterval(int ms) { m_poll.setInterval(ms); }
  // Polls that may go unanswered before the bath counts as silent.
  int silentPolls = 3;

 signals:
  void reading(double celsius);
  void silenceChanged(bool silent);

 private:
  void poll();
  void received();
  void send(const std::string& command);

  QSerialPort m_port;
  QString m_name;
  QTimer m_poll;
  comparison::BathLineCutter m_lines;
  int m_unanswered = 0;
  bool m_silent = false;
};

}  // namespace velmora
