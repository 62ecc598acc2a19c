// velmora-thermometer-sim: the thermometer on a pseudo-terminal. Prints the device path,
// then serves until stopped (Ctrl+C or SIGTERM).
//   velmora-thermometer-sim [--profile steady|ramp|step|sine] [--base T] [--noise SD]
//                           [--slow MS] [--garbage RATE] [--silent] [--no-cr]
//                           [--wrong-echoes N] [--noise-bursts RATE] [--no-settle]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "pty_front_end.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  velmora::sim::PtyThermometer sim;
  bool ok = true;
  bool settle = true;
  sim.withModel([&](velmora::sim::ThermometerModel& m) {
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      const bool hasValue = i + 1 < argc;
      if (a == "--profile" && hasValue) {
        const std::string k = argv[++i];
        using K = velmora::sim::Profile::Kind;
        m.profile.kind = k == "steady" ? K::Steady : k == "ramp" ? K::Ramp : k == "step" ? K::Step : K::Sine;
      } else if (a == "--base" && hasValue) {
        m.profile.base = std::atof(argv[++i]);
      } else if (a == "--noise" && hasValue) {
        m.profile.noise = std::atof(argv[++i]);
      } else if (a == "--slow" && hasValue) {
        m.faults.slowMs = std::atoi(argv[++i]);
      } else if (a == "--garbage" && hasValue) {
        m.faults.garbageRate = std::atof(argv[++i]);
      } else if (a == "--noise-bursts" && hasValue) {
        m.faults.noiseBurstRate = std::atof(argv[++i]);
      } else if (a == "--wrong-echoes" && hasValue) {
        m.faults.wrongEchoes = std::atoi(argv[++i]);
      } else if (a == "--silent") {
        m.faults.silent = true;
      } else if (a == "--no-cr") {
        m.faults.withoutCr = true;
      } else if (a == "--no-settle") {
        settle = false;
      } else {
        std::fprintf(stderr, "unknown option: %s\n", a.c_str());
        ok = false;
      }
    }
  });
  if (!ok) return 2;
  sim.setSettleOnOpen(settle);
  if (!sim.start()) {
    std::perror("velmora-thermometer-sim: no pseudo-terminal");
    return 1;
  }
  std::printf("%s\n", sim.devicePath().c_str());
  std::fflush(stdout);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  sim.stop();
  return 0;
}
