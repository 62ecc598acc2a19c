#pragma once
// Runs a piece of work on the user-interface thread on behalf of a background thread and
// waits until it has run: received data is handed over synchronously, so the background
// thread reads nothing more until the handler is done with what it got.
//
// The work and the "done" flag travel under our own lock (not inside a queued lambda), so
// that every thread checker sees the order of events.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace velmora {

class BlockingHandOver : public QObject {
  Q_OBJECT
 public:
  explicit BlockingHandOver(QObject* parent = nullptr) : QObject(parent) {}

  // Called on the background thread. Queues `work` to this object's thread and waits until
  // it has returned or `stop` is set. `serve` (may be empty) runs repeatedly while waiting,
  // so the background thread can go on serving the requests that the work itself makes.
  // Returns false when it stopped waiting because of `stop`.
  bool run(std::function<void()> work, const std::function<void()>& serve, const std::atomic<bool>& stop);

  // Wakes a waiting run() at once (new requests for `serve`, or `stop` was set).
  void wake();

 private:
  Q_INVOKABLE void handOver();  // on the user-interface thread

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::function<void()> m_work;  // under m_mutex
  bool m_handed = false;         // under m_mutex
  bool m_woken = false;          // under m_mutex
};

}  // namespace velmora
