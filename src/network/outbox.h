#pragma once
// The publisher's store and forward: every reading of an instrument is written here with its
// sequence number before it is sent, and the last sequence number the broker acknowledged
// (every one up to it) is kept beside it, so that nothing is lost to a broker outage or a
// restart of the program. One folder per destination (broker and station):
//   <instrument>.out   "seq utc_ms elapsed_min resistance temperature" a line ("-" unknown)
//   <instrument>.ack   the acknowledged sequence number
// An instrument is known by its topic level; in a file name the characters no file system
// takes (and "%") are written %XX.
// Used by the publisher's thread alone.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "network/lab_message.h"

namespace velmora {

class Outbox {
 public:
  explicit Outbox(std::filesystem::path folder);

  // Gives the reading its sequence number and writes it; false (and counted as dropped) when
  // the disk refuses it.
  bool append(const std::string& instrument, LabReading& reading);
  // A sequence number the broker acknowledged; the acknowledged mark moves on over every one
  // up to it.
  void acknowledged(const std::string& instrument, std::uint64_t seq);
  // Writes the marks that moved; a file whose acknowledged readings make up half of it (and
  // more than 64 KiB) is cut down to the waiting ones. Beyond the limit the oldest waiting
  // readings are dropped (each instrument keeps at most its share of the limit).
  void save();
  // The most the files may hold together, in bytes (0: no limit).
  void setLimit(std::uint64_t bytes) { m_limit = bytes; }
  // Waiting readings dropped for the limit since the last call, per instrument.
  std::map<std::string, std::uint64_t> takeOverflow() { return std::exchange(m_overflowNew, {}); }
  std::uint64_t overflowDropped() const { return m_overflow; }
  std::uint64_t bytes() const;

  std::uint64_t lastSeq(const std::string& instrument) const;
  std::uint64_t ackedThrough(const std::string& instrument) const;
  bool isAcknowledged(const std::string& instrument, std::uint64_t seq) const;
  // Readings after `after`, at most `max`, read from the file (the backlog).
  std::vector<LabReading> after(const std::string& instrument, std::uint64_t after, std::size_t max);
  std::vector<std::string> instruments() const;
  // Readings written and not yet acknowledged, and those the disk refused.
  std::uint64_t waiting() const;
  std::uint64_t dropped() const { return m_dropped; }

 private:
  struct Instrument {
    std::uint64_t last = 0;   // the last sequence number written
    std::uint64_t acked = 0;  // every one up to this acknowledged
    std::set<std::uint64_t> ackedBeyond;
    bool dirty = false;
    std::uint64_t firstInFile = 1;
    std::uint64_t bytes = 0;  // the file's size
    std::ofstream out;
    // Where the backlog's reading stopped: the lines after readThrough start at readOffset.
    std::uint64_t readThrough = 0;
    std::streamoff readOffset = 0;
  };
  Instrument& open(const std::string& instrument);
  std::filesystem::path file(const std::string& instrument, const char* suffix) const;
  // Cuts the file's front: every reading before `keepFrom` (a sequence number) or, with
  // `maxBytes`, as many as it takes to leave the file no larger. Streams the file.
  void cutFront(const std::string& instrument, Instrument& in, std::uint64_t keepFrom, std::uint64_t maxBytes);

  std::filesystem::path m_folder;
  std::map<std::string, Instrument> m_instruments;
  std::uint64_t m_dropped = 0;
  std::uint64_t m_limit = 0, m_overflow = 0;
  std::map<std::string, std::uint64_t> m_overflowNew;
};

}  // namespace velmora
