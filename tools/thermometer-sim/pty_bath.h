#pragma once
// The calibration bath's simulator on a pseudo-terminal (POSIX only): the program opens the
// slave side as the bath's serial port; the driven bath answers on the master side.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "simulator/bath_model.h"

namespace velmora::sim {

class PtyBath {
 public:
  explicit PtyBath(std::shared_ptr<DrivenBath> bath) : m_bath(std::move(bath)) {}
  ~PtyBath() { stop(); }
  bool start();
  void stop();
  const std::string& devicePath() const { return m_path; }
  DrivenBath& bath() { return *m_bath; }

 private:
  void serve();
  std::shared_ptr<DrivenBath> m_bath;
  int m_master = -1;
  std::string m_path;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
};

}  // namespace velmora::sim
