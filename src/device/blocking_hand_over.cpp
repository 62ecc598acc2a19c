#include "device/blocking_hand_over.h"

#include <QMetaObject>
#include <chrono>

namespace velmora {

bool BlockingHandOver::run(std::function<void()> work, const std::function<void()>& serve,
                           const std::atomic<bool>& stop) {
  {
    std::lock_guard lock(m_mutex);
    m_work = std::move(work);
    m_handed = false;
  }
  QMetaObject::invokeMethod(this, "handOver", Qt::QueuedConnection);
  for (;;) {
    if (serve) serve();
    std::unique_lock lock(m_mutex);
    if (m_handed) return true;
    if (stop) return false;
    m_cv.wait_for(lock, std::chrono::milliseconds(10), [&] { return m_handed || m_woken || stop.load(); });
    m_woken = false;
    if (m_handed) return true;
    if (stop) return false;
  }
}

void BlockingHandOver::wake() {
  std::lock_guard lock(m_mutex);
  m_woken = true;
  m_cv.notify_all();
}

void BlockingHandOver::handOver() {
  std::function<void()> work;
  {
    std::lock_guard lock(m_mutex);
    work = std::move(m_work);
    m_work = nullptr;
  }
  // The background thread is released even when the work ends in an exception (which the
  // application's general error report then shows).
  struct Release {
    BlockingHandOver* self;
    ~Release() {
      std::lock_guard lock(self->m_mutex);
      self->m_handed = true;
      self->m_cv.notify_all();
    }
  } release{this};
  if (work) work();
}

}  // namespace velmora
