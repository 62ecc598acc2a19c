#include "files/journal.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "common/number_text.h"

namespace velmora {

namespace {
constexpr std::string_view kHeader = "VELMORA JOURNAL 1\n";

void appendExact(std::string& out, double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}
// The next blank-ended field of a record.
std::optional<std::string_view> field(std::string_view& rest) {
  const std::size_t blank = rest.find(' ');
  if (blank == std::string_view::npos || blank == 0) return std::nullopt;
  const std::string_view f = rest.substr(0, blank);
  rest.remove_prefix(blank + 1);
  return f;
}

bool parseReading(std::string_view line, JournalReading& r) {
  const bool values = line.substr(0, 2) == "V ";
  if (!values && line.substr(0, 2) != "R ") return false;
  std::string_view rest = line.substr(2);
  const auto xs = field(rest), ys = field(rest);
  if (!xs || !ys) return false;
  const auto x = parseNumber(*xs), y = parseNumber(*ys);
  if (!x || !y) return false;
  r.x = *x;
  r.y = *y;
  if (values) {
    const auto rs = field(rest), ts = field(rest);
    if (!rs || !ts) return false;
    if (*rs != "-") {
      const auto v = parseNumber(*rs);
      if (!v) return false;
      r.resistance = *v;
    }
    if (*ts != "-") {
      std::int64_t t = 0;
      if (std::from_chars(ts->data(), ts->data() + ts->size(), t).ptr != ts->data() + ts->size()) return false;
      r.utcMs = t;
    }
  }
  if (rest.empty()) return false;
  r.line = std::string(rest);
  return true;
}
}  // namespace

namespace {
// "<x> <y> <r> <ms> <line>\n", "-" for an unknown resistance or time.
void appendValues(std::string& out, double x, double y, std::string_view line, double resistance, std::int64_t utcMs) {
  appendExact(out, x);
  out.push_back(' ');
  appendExact(out, y);
  out.push_back(' ');
  if (std::isnan(resistance))
    out.push_back('-');
  else
    appendExact(out, resistance);
  out.push_back(' ');
  if (utcMs == kNoTime)
    out.push_back('-');
  else
    out += std::to_string(utcMs);
  out.push_back(' ');
  out.append(line);
  out.push_back('\n');
}
}  // namespace

void appendJournalReading(std::string& out, double x, double y, std::string_view line, double resistance,
                          std::int64_t utcMs) {
  if (!std::isnan(resistance) || utcMs != kNoTime) {
    out += "V ";
    appendValues(out, x, y, line, resistance, utcMs);
    return;
  }
  out += "R ";
  appendExact(out, x);
  out.push_back(' ');
  appendExact(out, y);
  out.push_back(' ');
  out.append(line);
  out.push_back('\n');
}

JournalWriter::JournalWriter(std::string path) : m_path(std::move(path)) {
  m_thread = std::thread([this] { run(); });
}

JournalWriter::~JournalWriter() { stop(); }

void JournalWriter::stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void JournalWriter::startNew(const std::optional<JournalBase>& base) {
  std::string head(kHeader);
  if (base) head += "B " + std::to_string(base->bytes) + " " + base->path + "\n";
  std::lock_guard lock(m_mutex);
  m_buffer = std::move(head);
  m_reset = true;
  m_removed = false;
  m_wake.notify_all();
}

void JournalWriter::append(double x, double y, std::string_view line, double resistance, std::int64_t utcMs) {
  std::lock_guard lock(m_mutex);
  appendJournalReading(m_buffer, x, y, line, resistance, utcMs);
}

void JournalWriter::declareChannel(int channel, std::string_view port, std::string_view name) {
  std::string line = "N " + std::to_string(channel) + " " + (port.empty() ? std::string("-") : std::string(port)) + "\t";
  for (char c : name) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  line.push_back('\n');
  std::lock_guard lock(m_mutex);
  m_buffer += line;
}

void JournalWriter::appendOn(int channel, double x, double y, std::string_view line, double resistance,
                             std::int64_t utcMs) {
  std::lock_guard lock(m_mutex);
  m_buffer += "W " + std::to_string(channel) + " ";
  appendValues(m_buffer, x, y, line, resistance, utcMs);  // the rest of a V record
}

void JournalWriter::flush() {
  std::unique_lock lock(m_mutex);
  const long wanted = ++m_flushRequests;
  m_wake.notify_all();
  m_wake.wait(lock, [&] { return m_flushesDone >= wanted || m_stop; });
}

void JournalWriter::remove() {
  std::unique_lock lock(m_mutex);
  m_buffer.clear();
  m_reset = false;
  m_removed = true;  // taken by the writing thread
  const long wanted = ++m_flushRequests;
  m_wake.notify_all();
  m_wake.wait(lock, [&] { return m_flushesDone >= wanted || m_stop; });
}

void JournalWriter::closeFile() {
  if (m_file) std::fclose(m_file);
  m_file = nullptr;
}

// Writes what was taken from the buffer; on failure it is kept for the next attempt.
bool JournalWriter::writePending(std::string& pending, bool& reset) {
  if (reset) {
    closeFile();
    m_file = std::fopen(m_path.c_str(), "wb");
    if (!m_file) return false;
    reset = false;
  } else if (!m_file) {
    m_file = std::fopen(m_path.c_str(), "ab");
    if (!m_file) return false;
  }
  if (pending.empty()) return true;
  const std::size_t n = std::fwrite(pending.data(), 1, pending.size(), m_file);
  if (n != pending.size() || std::fflush(m_file) != 0) {
    // What went out stays out; a partly written line is cut off by the reader.
    pending.erase(0, n);
    closeFile();
    return false;
  }
  pending.clear();
  return true;
}

void JournalWriter::run() {
  using Clock = std::chrono::steady_clock;
  std::string pending;  // taken from the buffer, not yet written
  bool reset = false;   // the file is to be started afresh
  bool started = false; // there is a journal to write to
  bool unsynced = false;
  auto lastSync = Clock::now();
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait_for(lock, std::chrono::milliseconds(kHandOverMs),
                    [&] { return m_stop || m_flushRequests > m_flushesDone || m_reset || m_removed; });
    const bool stopping = m_stop;
    const long requests = m_flushRequests;
    const bool removeRequested = std::exchange(m_removed, false);
    if (std::exchange(m_reset, false)) {
      pending.clear();  // what was not written belongs to the journal being replaced
      reset = true;
      started = true;
    }
    pending += m_buffer;
    m_buffer.clear();
    lock.unlock();
    if (removeRequested) {
      closeFile();
      std::remove(m_path.c_str());
      pending.clear();
      started = reset = unsynced = false;
      m_failing = false;
    } else if (started && (!pending.empty() || reset)) {
      const bool ok = writePending(pending, reset);
      m_failing = !ok;
      unsynced = unsynced || ok;
    }
    if (m_file && unsynced && (stopping || Clock::now() - lastSync >= std::chrono::milliseconds(kSyncMs))) {
      if (!syncToDisk(m_file))
        m_failing = true;
      else
        ++m_syncs;
      lastSync = Clock::now();
      unsynced = false;
    }
    lock.lock();
    m_flushesDone = requests;
    m_wake.notify_all();
    if (stopping) break;
  }
  lock.unlock();
  closeFile();
}

JournalContents readJournal(std::string_view text) {
  JournalContents c;
  if (text.substr(0, kHeader.size()) != kHeader) return c;
  c.valid = true;
  text.remove_prefix(kHeader.size());
  bool first = true;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {  // a half-written last line
      c.damaged = true;
      break;
    }
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (first && line.substr(0, 2) == "B ") {
      const std::string_view rest = line.substr(2);
      const std::size_t blank = rest.find(' ');
      std::uint64_t bytes = 0;
      if (blank == std::string_view::npos ||
          std::from_chars(rest.data(), rest.data() + blank, bytes).ptr != rest.data() + blank) {
        c.damaged = true;
        break;
      }
      c.base = JournalBase{std::string(rest.substr(blank + 1)), bytes};
      first = false;
      continue;
    }
    first = false;
    if (line.substr(0, 2) == "N ") {  // a further instrument
      std::string_view rest = line.substr(2);
      const auto number = field(rest);
      const auto tab = rest.find('\t');
      int k = 0;
      if (!number || tab == std::string_view::npos ||
          std::from_chars(number->data(), number->data() + number->size(), k).ptr != number->data() + number->size() ||
          k < 1) {
        c.damaged = true;
        break;
      }
      if (k == 1) {  // the first instrument's name (its readings are the designed records)
        c.firstPort = rest.substr(0, tab) == "-" ? std::string() : std::string(rest.substr(0, tab));
        c.firstName = std::string(rest.substr(tab + 1));
        continue;
      }
      JournalChannel ch;
      ch.number = k;
      ch.port = rest.substr(0, tab) == "-" ? std::string() : std::string(rest.substr(0, tab));
      ch.name = std::string(rest.substr(tab + 1));
      c.channels.push_back(std::move(ch));
      continue;
    }
    if (line.substr(0, 2) == "W ") {  // a reading of a further instrument
      std::string_view rest = line.substr(2);
      const auto number = field(rest);
      int k = 0;
      JournalReading reading{0, 0, {}};
      JournalChannel* ch = nullptr;
      if (number && std::from_chars(number->data(), number->data() + number->size(), k).ptr == number->data() + number->size())
        for (auto& existing : c.channels)
          if (existing.number == k) ch = &existing;
      if (!ch || !parseReading("V " + std::string(rest), reading)) {
        c.damaged = true;
        break;
      }
      ch->readings.push_back(std::move(reading));
      continue;
    }
    JournalReading reading{0, 0, {}};
    if (!parseReading(line, reading)) {
      c.damaged = true;
      break;
    }
    c.readings.push_back(std::move(reading));
  }
  return c;
}

}  // namespace velmora
