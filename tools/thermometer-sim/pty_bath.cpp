#include "pty_bath.h"
#include "pty_front_end.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace velmora::sim {

bool PtyBath::start() {
  m_master = openRawPty(m_path);
  if (m_master < 0) return false;
  m_stop = false;
  m_thread = std::thread([this] { serve(); });
  return true;
}

void PtyBath::stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  closePty(m_master);
}

void PtyBath::serve() {
  char buf[256];
  while (!m_stop) {
    pollfd p{m_master, POLLIN, 0};
    const int ready = poll(&p, 1, 20);
    if (ready > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // nobody holds the port
      continue;
    }
    if (ready <= 0 || !(p.revents & POLLIN)) continue;
    const ssize_t n = read(m_master, buf, sizeof buf);
    if (n <= 0) continue;
    const std::string answer = m_bath->receive(std::string_view(buf, static_cast<std::size_t>(n)));
    const char* data = answer.data();
    std::size_t left = answer.size();
    while (left > 0) {
      const ssize_t w = write(m_master, data, left);
      if (w <= 0) break;
      data += w;
      left -= static_cast<std::size_t>(w);
    }
  }
}

}  // namespace velmora::sim
