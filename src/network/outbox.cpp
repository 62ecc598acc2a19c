#include "network/outbox.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "common/file_io.h"
#include "common/number_text.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {
constexpr std::uint64_t kCompactAfter = 100000;  // acknowledged readings kept in a file at most

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
  if (!readWholeFile(pathToUtf8(file(instrument, ".out")), bytes)) {
    std::string_view rest = bytes;
    bool first = true;
    while (!rest.empty()) {
      const auto nl = rest.find('\n');
      if (nl == std::string_view::npos) break;  // a half-written last line is not a reading
      LabReading r;
      if (parseLine(rest.substr(0, nl), r)) {
        if (first) in.firstInFile = r.seq;
        first = false;
        in.last = r.seq;
      }
      rest.remove_prefix(nl + 1);
    }
  }
  in.last = std::max(in.last, in.acked);
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
    if (in.acked >= in.firstInFile + kCompactAfter) compact(name, in);
  }
}

// A long file whose readings are acknowledged is cut down to those that are not.
void Outbox::compact(const std::string& instrument, Instrument& in) {
  in.out.close();
  const std::vector<LabReading> rest = after(instrument, in.acked, static_cast<std::size_t>(-1));
  std::string text;
  for (const auto& r : rest) appendLine(text, r);
  if (!writeFileAtomically(pathToUtf8(file(instrument, ".out")), text)) in.firstInFile = in.acked + 1;
  in.readThrough = 0;
  in.readOffset = 0;
  in.out.open(file(instrument, ".out"), std::ios::binary | std::ios::app);
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
