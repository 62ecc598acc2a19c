#pragma once
// The simulator on a pseudo-terminal (POSIX only): the program opens the slave side as its
// serial port; the model answers on the master side.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "simulator/thermometer_model.h"

namespace velmora::sim {

// A pseudo-terminal's master side in raw mode (no echo, no CR/LF translation): its descriptor
// and, in `path`, the device path of its other side; -1 when the system gives none.
int openRawPty(std::string& path);
// Closes a master side (and marks it closed).
void closePty(int& master);

class PtyThermometer {
 public:
  explicit PtyThermometer(std::uint32_t seed = 1);
  ~PtyThermometer();

  // Like the instrument's line, a settling character (a NUL) comes before the first answer
  // after each opening of the port (on by default; off to test a line that does not settle).
  void setSettleOnOpen(bool on) { m_settleOnOpen = on; }
  // Opens the pseudo-terminal and starts serving; returns false when none can be had.
  bool start();
  void stop();
  // Closes the master side: the device vanishes under the program.
  void vanish();
  const std::string& devicePath() const { return m_path; }

  // The model, to be changed only through withModel (it runs on the serving thread).
  template <typename F>
  void withModel(F&& f) {
    std::lock_guard lock(m_mutex);
    f(m_model);
  }
  long commandsSeen() const { return m_commands; }

 private:
  void serve();

  ThermometerModel m_model;
  std::mutex m_mutex;
  int m_master = -1;
  std::string m_path;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<long> m_commands{0};
  std::atomic<bool> m_settleOnOpen{true};
};

}  // namespace velmora::sim
