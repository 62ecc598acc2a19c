#pragma once
// The recording journal: while readings are held and not saved, every one of them is
// written to a plain text file as it is recorded, so that a crash, a kill or a power cut
// loses nothing but the last moments. The file:
//
//   VELMORA JOURNAL 1
//   B <bytes> <path>          the readings of this data file come first (after an open or
//                             a save); absent when the journal starts from an empty window
//   R <x> <y> <list line>     one reading: time in days and temperature with 17 digits,
//                             then the reading list's line as shown
//   V <x> <y> <r> <ms> <list line>
//                             the same with the resistance (17 digits) and the clock time
//                             (ms since 1970 UTC); "-" for either when it is unknown
//   N <k> <port>\t<name>      a further instrument (channel k ≥ 2): its port ("-" for none)
//                             and name; comes before its readings
//   W <k> <x> <y> <r> <ms> <list line>
//                             a reading of channel k, as V
//
// Writing runs on a thread of its own: the caller only appends to a buffer. The thread
// hands the buffer to the operating system at least every 250 ms (it survives the program
// being killed) and syncs the file to the disk at least every 5 s.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/file_io.h"
#include "display/measurement_series.h"

namespace velmora {

struct JournalBase {
  std::string path;         // a data file whose readings come first
  std::uint64_t bytes = 0;  // its size when it was opened or saved
};

class JournalWriter {
 public:
  static constexpr int kHandOverMs = 250;
  static constexpr int kSyncMs = 5000;

  explicit JournalWriter(std::string path);
  ~JournalWriter();  // writes what is buffered and stops
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Starts the journal afresh: the header and the base file, if any.
  void startNew(const std::optional<JournalBase>& base);
  // One reading (cheap: formats into a buffer).
  void append(double x, double y, std::string_view line, double resistance = kNoValue,
              std::int64_t utcMs = kNoTime);
  // A further instrument (channel ≥ 2) and one of its readings.
  void declareChannel(int channel, std::string_view port, std::string_view name);
  void appendOn(int channel, double x, double y, std::string_view line, double resistance, std::int64_t utcMs);
  // Hands everything appended so far to the operating system now (and waits for it).
  void flush();
  // Stops writing and deletes the file.
  void remove();

  // Writes what is buffered, syncs it to the disk and ends the writing thread (the
  // destructor does it too); nothing is appended afterwards.
  void stop();
  // How often the file was synced to the disk.
  long syncs() const { return m_syncs.load(); }
  // Whether the last attempt to write or sync failed (a full disk, a read-only folder).
  bool failing() const { return m_failing.load(); }
  const std::string& path() const { return m_path; }

 private:
  void run();
  bool writePending(std::string& pending, bool& reset);
  void closeFile();

  const std::string m_path;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::string m_buffer;     // under m_mutex
  bool m_reset = false;     // under m_mutex: truncate before writing m_buffer
  bool m_stop = false;      // under m_mutex
  bool m_removed = false;   // under m_mutex: delete the file
  long m_flushRequests = 0, m_flushesDone = 0;  // under m_mutex
  std::FILE* m_file = nullptr;  // the writing thread's
  std::atomic<bool> m_failing{false};
  std::atomic<long> m_syncs{0};
  std::thread m_thread;
};

struct JournalReading {
  double x;
  double y;
  std::string line;
  double resistance = kNoValue;
  std::int64_t utcMs = kNoTime;
};

struct JournalChannel {
  int number = 0;
  std::string port, name;
  std::vector<JournalReading> readings;
};

struct JournalContents {
  bool valid = false;  // the header was there
  std::optional<JournalBase> base;
  std::string firstPort, firstName;      // the first instrument's, where the journal names it ("N 1")
  std::vector<JournalReading> readings;  // the first (designed) instrument's
  std::vector<JournalChannel> channels;   // the further ones
  bool damaged = false;  // the end was cut or garbled; everything before it was taken
};

// Reads a journal's text. A damaged end (a half-written last line) ends the readings.
JournalContents readJournal(std::string_view text);

// The journal line of one reading, as written.
void appendJournalReading(std::string& out, double x, double y, std::string_view line, double resistance = kNoValue,
                          std::int64_t utcMs = kNoTime);

}  // namespace velmora
