#include "network/outbox.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "common/file_io.h"
#include "common/number_text.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {
constexpr std::uint64_t kCompactBytes = 64 * 1024;  // a file smaller than this is left as it is

void appendNumber(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "-";
    return;
  }
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

// A reading's line: sequence number, UTC milliseconds, minutes, ohms, degrees.
void appendLine(std::string& out, const LabReading& r) {
  out += std::to_string(r.seq) + " " + std::to_string(r.utcMs) + " ";
  appendNumber(out, r.elapsedMinutes);
  out.push_back(' ');
  appendNumber(out, r.resistance);
  out.push_back(' ');
  appendNumber(out, r.temperature);
  out.push_back('\n');
}

std::string fileStem(const std::string& level) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (const char c : level) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::string_view("\\/:*?\"<>|%").find(c) != std::string_view::npos || (out.empty() && c == '.')) {
      out.push_back('%');
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 15]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string levelOfStem(const std::string& stem) {
  std::string out;
  for (std::size_t i = 0; i < stem.size(); ++i) {
    unsigned v = 0;
    if (stem[i] == '%' && i + 2 < stem.size() &&
        std::from_chars(stem.data() + i + 1, stem.data() + i + 3, v, 16).ptr == stem.data() + i + 3) {
      out.push_back(static_cast<char>(v));
      i += 2;
    } else {
      out.push_back(stem[i]);
    }
  }
  return out;
}

bool parseLine(std::string_view line, LabReading& r) {
  std::string_view f[5];
  for (int i = 0; i < 5; ++i) {
    const auto blank = line.find(' ');
    f[i] = line.substr(0, blank);
    line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    if (f[i].empty()) return false;
  }
  if (std::from_chars(f[0].data(), f[0].data() + f[0].size(), r.seq).ptr != f[0].data() + f[0].size()) return false;
  if (std::from_chars(f[1].data(), f[1].data() + f[1].size(), r.utcMs).ptr != f[1].data() + f[1].size()) return false;
  const auto e = parseNumber(f[2]), t = parseNumber(f[4]);
  if (!e || !t) return false;
  r.elapsedMinutes = *e;
  r.temperature = *t;
  r.resistance = NAN;
  if (f[3] != "-") {
    const auto v = parseNumber(f[3]);
    if (!v) return false;
    r.resistance = *v;
  }
  return true;
}
}  // namespace

Outbox::Outbox(fs::path folder) : m_folder(std::move(folder)) {
  std::error_code ec;
  fs::create_directories(m_folder, ec);
  // What an earlier run left: its instruments, their last and acknowledged numbers.
  for (const auto& e : fs::directory_iterator(m_folder, ec)) {
    if (e.path().extension() != ".out") continue;
    open(levelOfStem(pathToUtf8(e.path().stem())));
  }
}

fs::path Outbox::file(const std::string& instrument, const char* suffix) const {
  return m_folder / pathFromUtf8(fileStem(topicLevel(instrument)) + suffix);
}

Outbox::Instrument& Outbox::open(const std::string& name) {
  const std::string instrument = topicLevel(name);
  auto it = m_instruments.find(instrument);
  if (it != m_instruments.end()) return it->second;
  Instrument& in = m_instruments[instrument];
  std::string bytes;
  if (!readWholeFile(pathToUtf8(file(instrument, ".ack")), bytes)) {
    std::uint64_t v = 0;
    const std::string_view t = trimBlanks(bytes);
    if (std::from_chars(t.data(), t.data() + t.size(), v).ptr == t.data() + t.size()) in.acked = v;
  }
  // The file is read a line at a time: an outbox that waited long for its broker can be large.
  std::ifstream text(file(instrument, ".out"), std::ios::binary);
  bool first = true;
  for (std::string line; std::getline(text, line);) {
    if (text.eof()) break;  // a half-written last line is not a reading
    in.bytes += line.size() + 1;
    LabReading r;
    if (parseLine(line, r)) {
      if (first) in.firstInFile = r.seq;
      first = false;
      in.last = r.seq;
    }
  }
  in.last = std::max(in.last, in.acked);
  text.close();
  // A line the power cut off would run into the next reading written: it goes.
  std::error_code ec;
  if (fs::exists(file(instrument, ".out"), ec) && fs::file_size(file(instrument, ".out"), ec) > in.bytes && !ec)
    fs::resize_file(file(instrument, ".out"), in.bytes, ec);
  in.out.open(file(instrument, ".out"), std::ios::binary | std::ios::app);
  return in;
}

bool Outbox::append(const std::string& instrument, LabReading& r) {
  Instrument& in = open(instrument);
  r.seq = in.last + 1;
  std::string line;
  appendLine(line, r);
  in.out.write(line.data(), static_cast<std::streamsize>(line.size()));
  in.out.flush();
  if (!in.out) {
    in.out.clear();
    ++m_dropped;
    return false;
  }
  in.last = r.seq;
  in.bytes += line.size();
  return true;
}

void Outbox::acknowledged(const std::string& instrument, std::uint64_t seq) {
  Instrument& in = open(instrument);
  if (seq <= in.acked) return;
  in.ackedBeyond.insert(seq);
  while (!in.ackedBeyond.empty() && *in.ackedBeyond.begin() == in.acked + 1) {
    in.acked = *in.ackedBeyond.begin();
    in.ackedBeyond.erase(in.ackedBeyond.begin());
    in.dirty = true;
  }
}

void Outbox::save() {
  for (auto& [name, in] : m_instruments) {
    if (!in.dirty) continue;
    in.dirty = false;
    writeFileAtomically(pathToUtf8(file(name, ".ack")), std::to_string(in.acked) + "\n");
    // Acknowledged readings leave once they are half the file.
    const std::uint64_t inFile = in.last >= in.firstInFile ? in.last - in.firstInFile + 1 : 0;
    const std::uint64_t ackedInFile = in.acked >= in.firstInFile ? in.acked - in.firstInFile + 1 : 0;
    if (in.bytes >= kCompactBytes && 2 * ackedInFile >= inFile) cutFront(name, in, in.acked + 1, 0);
  }
  if (m_limit == 0 || m_instruments.empty() || bytes() <= m_limit) return;
  // Over the limit: each instrument over its share keeps its newest three quarters of it.
  const std::uint64_t share = m_limit / m_instruments.size();
  for (auto& [name, in] : m_instruments)
    if (in.bytes > share) cutFront(name, in, in.acked + 1, share - share / 4);
}

void Outbox::cutFront(const std::string& instrument, Instrument& in, std::uint64_t keepFrom, std::uint64_t maxBytes) {
  in.out.close();
  const fs::path path = file(instrument, ".out"), part = file(instrument, ".out.part");
  std::ifstream src(path, std::ios::binary);
  std::ofstream dst(part, std::ios::binary | std::ios::trunc);
  std::uint64_t offset = 0, kept = 0, droppedWaiting = 0, firstKept = 0, lastDropped = 0;
  bool keeping = false;
  std::string line;
  while (std::getline(src, line)) {
    if (src.eof()) break;  // a half-written last line
    const std::uint64_t size = line.size() + 1;
    offset += size;
    LabReading r;
    if (!keeping) {
      if (!parseLine(line, r)) continue;
      const bool fits = maxBytes == 0 || in.bytes - offset + size <= maxBytes;
      if (r.seq < keepFrom || !fits) {
        if (r.seq > in.acked) {
          ++droppedWaiting;
          lastDropped = r.seq;
        }
        continue;
      }
      keeping = true;
      firstKept = r.seq;
    }
    line.push_back('\n');
    dst.write(line.data(), static_cast<std::streamsize>(line.size()));
    kept += line.size();
  }
  dst.flush();
  const bool written = static_cast<bool>(dst);
  dst.close();
  src.close();
  std::error_code ec;
  if (written) fs::rename(part, path, ec);
  if (!written || ec) {
    fs::remove(part, ec);  // the file stays as it was
  } else {
    in.bytes = kept;
    in.firstInFile = keeping ? firstKept : in.last + 1;
    if (droppedWaiting > 0) {
      // The dropped readings count as gone: the backlog starts after them.
      m_overflow += droppedWaiting;
      m_overflowNew[instrument] += droppedWaiting;
      in.acked = std::max(in.acked, lastDropped);
      for (auto it = in.ackedBeyond.begin(); it != in.ackedBeyond.end();)
        it = *it <= in.acked ? in.ackedBeyond.erase(it) : std::next(it);
      writeFileAtomically(pathToUtf8(file(instrument, ".ack")), std::to_string(in.acked) + "\n");
    }
  }
  in.readThrough = 0;
  in.readOffset = 0;
  in.out.open(path, std::ios::binary | std::ios::app);
}

std::uint64_t Outbox::bytes() const {
  std::uint64_t n = 0;
  for (const auto& [name, in] : m_instruments) n += in.bytes;
  return n;
}

std::uint64_t Outbox::lastSeq(const std::string& instrument) const {
  const auto it = m_instruments.find(topicLevel(instrument));
  return it == m_instruments.end() ? 0 : it->second.last;
}

std::uint64_t Outbox::ackedThrough(const std::string& instrument) const {
  const auto it = m_instruments.find(topicLevel(instrument));
  return it == m_instruments.end() ? 0 : it->second.acked;
}

bool Outbox::isAcknowledged(const std::string& instrument, std::uint64_t seq) const {
  const auto it = m_instruments.find(topicLevel(instrument));
  return it != m_instruments.end() && (seq <= it->second.acked || it->second.ackedBeyond.count(seq) > 0);
}

std::vector<LabReading> Outbox::after(const std::string& instrument, std::uint64_t afterSeq, std::size_t max) {
  std::vector<LabReading> out;
  Instrument& state = open(instrument);
  std::ifstream in(file(instrument, ".out"), std::ios::binary);
  // The backlog goes forward: reading goes on where it stopped, not from the file's start.
  std::streamoff offset = 0;
  if (afterSeq >= state.readThrough && state.readThrough > 0) {
    in.seekg(state.readOffset);
    offset = state.readOffset;
  }
  std::string line;
  while (out.size() < max && std::getline(in, line)) {
    if (in.eof()) break;  // a line without its end is being written
    offset += static_cast<std::streamoff>(line.size() + 1);
    LabReading r;
    if (!parseLine(line, r)) continue;
    if (r.seq > afterSeq) out.push_back(r);
    state.readThrough = r.seq;
    state.readOffset = offset;
  }
  return out;
}

std::vector<std::string> Outbox::instruments() const {
  std::vector<std::string> names;
  for (const auto& [name, in] : m_instruments) names.push_back(name);
  return names;
}

std::uint64_t Outbox::waiting() const {
  std::uint64_t n = 0;
  for (const auto& [name, in] : m_instruments) n += in.last - in.acked - in.ackedBeyond.size();
  return n;
}

}  // namespace velmora
