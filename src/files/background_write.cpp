#include "files/background_write.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "common/file_io.h"

namespace velmora {

WriteOutcome BackgroundWrite::run(const std::string& path, std::size_t count, const std::string& header,
                                  const Produce& produce, const Format& format,
                                  const std::function<bool(double)>& tick) {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<WritePiece> queue;  // under mutex
  bool allQueued = false, stop = false, finished = false;  // under mutex
  std::size_t written = 0;                                  // under mutex
  std::optional<std::string> error;                         // under mutex

  AtomicFileWriter file;
  if (auto cause = file.open(path)) return {false, false, *cause};
  std::thread writer([&] {
    std::string text = header;
    std::optional<std::string> failed;
    if (!text.empty()) failed = file.write(text);
    for (;;) {
      WritePiece piece;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return stop || !queue.empty() || allQueued || failed; });
        if (stop || failed || (queue.empty() && allQueued)) break;
        piece = std::move(queue.front());
        queue.pop_front();
      }
      wake.notify_all();
      text.clear();
      format(piece, text);
      failed = file.write(text);
      std::lock_guard lock(mutex);
      written += piece.rows;
    }
    bool cancelled;
    {
      std::lock_guard lock(mutex);
      cancelled = stop;
    }
    if (!failed && !cancelled) failed = file.commit();  // syncs: outside the lock
    std::lock_guard lock(mutex);
    if (failed) error = failed;
    finished = true;
    wake.notify_all();
  });

  WriteOutcome outcome;
  QElapsedTimer clock;
  clock.start();
  std::size_t next = 0;
  bool cancelled = false;
  for (;;) {
    // Keep up to four pieces ahead of the writer.
    {
      std::unique_lock lock(mutex);
      while (next < count && queue.size() < 4 && !error) {
        lock.unlock();
        WritePiece piece;
        piece.first = next;
        const std::size_t last = std::min(count, next + kPiece);
        piece.rows = last - next;
        produce(next, last, piece);
        next = last;
        lock.lock();
        queue.push_back(std::move(piece));
        wake.notify_all();
      }
      if (next >= count) allQueued = true;
      wake.notify_all();
      if (finished) break;
    }
    const double fraction = count == 0 ? 1.0 : static_cast<double>(std::min(written, count)) / static_cast<double>(count);
    if (tick && !tick(fraction)) {
      cancelled = true;
      std::lock_guard lock(mutex);
      stop = true;
      wake.notify_all();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::milliseconds(10), [&] { return finished || queue.size() < 4; });
    if (finished) break;
  }
  writer.join();
  if (cancelled) {
    file.abort();
    return {false, true, {}};
  }
  if (error) {
    file.abort();
    return {false, false, *error};
  }
  outcome.ok = true;
  return outcome;
}

}  // namespace velmora
