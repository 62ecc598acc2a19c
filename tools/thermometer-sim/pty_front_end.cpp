#include "pty_front_end.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace velmora::sim {

namespace {
double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

int openRawPty(std::string& path) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return -1;
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    close(master);
    return -1;
  }
  path = ptsname(master);
  // Raw bytes in both directions: no echo, no CR/LF translation.
  termios tio{};
  if (tcgetattr(master, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
  }
  return master;
}

void closePty(int& master) {
  if (master >= 0) close(master);
  master = -1;
}

PtyThermometer::PtyThermometer(std::uint32_t seed) : m_model(seed) {}

PtyThermometer::~PtyThermometer() { stop(); }

bool PtyThermometer::start() {
  m_master = openRawPty(m_path);
  if (m_master < 0) return false;
  m_stop = false;
  m_thread = std::thread([this] { serve(); });
  return true;
}

void PtyThermometer::stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  closePty(m_master);
}

void PtyThermometer::vanish() { stop(); }

void PtyThermometer::serve() {
  const auto start = std::chrono::steady_clock::now();
  struct Due {
    std::chrono::steady_clock::time_point at;
    std::string bytes;
  };
  std::vector<Due> pending;
  char buf[512];
  // No program holds the port open while the master side sees a hang-up; the next opening
  // gets the settling character before its first answer.
  bool settle = m_settleOnOpen;
  while (!m_stop) {
    pollfd p{m_master, POLLIN, 0};
    const int ready = poll(&p, 1, 5);
    if (ready > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
      settle = m_settleOnOpen;
      pending.clear();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));  // nobody there: no busy wait
      continue;
    }
    if (ready > 0 && (p.revents & POLLIN)) {
      const ssize_t n = read(m_master, buf, sizeof buf);
      if (n > 0) {
        for (ssize_t i = 0; i < n; ++i)
          if (buf[i] == '\r') ++m_commands;
        std::lock_guard lock(m_mutex);
        std::string answer = m_model.receive(std::string_view(buf, static_cast<std::size_t>(n)), secondsSince(start));
        if (!answer.empty() && settle) {
          answer.insert(answer.begin(), '\0');
          settle = false;
        }
        if (!answer.empty())
          pending.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(10 + m_model.faults.slowMs),
                             std::move(answer)});
      }
    }
    const auto now = std::chrono::steady_clock::now();
    for (auto it = pending.begin(); it != pending.end();) {
      if (it->at <= now) {
        const char* data = it->bytes.data();
        std::size_t left = it->bytes.size();
        while (left > 0) {
          const ssize_t w = write(m_master, data, left);
          if (w <= 0) break;
          data += w;
          left -= static_cast<std::size_t>(w);
        }
        it = pending.erase(it);
      } else {
        ++it;
      }
    }
  }
}

}  // namespace velmora::sim
