#pragma once
// A long write — a save or an export of millions of readings — off the user-interface
// thread: the user-interface thread copies the readings piece by piece (a copy of 65,536
// readings takes a fraction of a millisecond), a thread of its own turns them into text and
// writes the file (whole or not at all, see common/file_io.h). The window stays live
// meanwhile (recording goes on), the gauge moves once the write has taken 0.3 s, and Cancel
// stops it leaving no file.

#include <QElapsedTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The readings of one piece, as the user-interface thread copied them.
struct WritePiece {
  std::size_t first = 0;  // the first reading's index
  std::size_t rows = 0;   // how many
  std::vector<double> x, y, resistance;
  std::vector<std::int64_t> utcMs;
  std::vector<std::uint16_t> channel;  // which instrument's, when there are several
  std::string text;  // or text ready to be written (list lines)
};

struct WriteOutcome {
  bool ok = false;
  bool cancelled = false;
  std::string error;  // the system's reason when neither
};

class BackgroundWrite {
 public:
  static constexpr std::size_t kPiece = 65536;
  // Copies readings [first, last) into a piece (the user-interface thread).
  using Produce = std::function<void(std::size_t first, std::size_t last, WritePiece& piece)>;
  // Appends a piece's text to `out` (the writing thread: it may not touch the readings).
  using Format = std::function<void(const WritePiece& piece, std::string& out)>;

  // Writes `header`, then readings [0, count) through produce and format. `tick` is called
  // on the user-interface thread at least every 50 ms with the fraction done; it returns
  // false to cancel.
  static WriteOutcome run(const std::string& path, std::size_t count, const std::string& header, const Produce& produce,
                          const Format& format, const std::function<bool(double fraction)>& tick);
};

}  // namespace velmora
