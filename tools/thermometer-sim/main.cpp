// velmora-thermometer-sim: the thermometer on a pseudo-terminal. Prints the device path,
// then serves until stopped (Ctrl+C or SIGTERM). With --count N, N instruments in one
// simulated bath (probe 1 a steady reference), one pseudo-terminal each, one path a line.
//   velmora-thermometer-sim [--profile steady|ramp|step|sine] [--base T] [--noise SD]
//                           [--slow MS] [--garbage RATE] [--silent] [--no-cr]
//                           [--wrong-echoes N] [--noise-bursts RATE] [--no-settle] [--count N]
//                           [--bath [SPEED]]
// --bath adds a calibration bath driven to set points (its own pseudo-terminal, the last path
// printed) with every instrument in it; SPEED makes its time run faster (1: a real bath).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <memory>
#include <thread>
#include <vector>

#include "pty_bath.h"
#include "pty_front_end.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }
}  // namespace

namespace {
constexpr const char* kUsage =
    "usage: velmora-thermometer-sim [--profile steady|ramp|step|sine] [--base T] [--noise SD]\n"
    "                               [--slow MS] [--garbage RATE] [--silent] [--no-cr]\n"
    "                               [--wrong-echoes N] [--noise-bursts RATE] [--no-settle]\n"
    "                               [--count N] [--bath [SPEED]]\n"
    "The thermometer on a pseudo-terminal: prints the device path (one a line with --count N, the\n"
    "driven bath's last with --bath) and answers like the instrument until stopped.\n"
    "  --profile P        the bath's course: steady, ramp, step or sine\n"
    "  --base T           the bath's temperature, °C\n"
    "  --noise SD         the reading's noise, °C\n"
    "  --slow MS          answer this late\n"
    "  --garbage RATE     this share of answers garbled\n"
    "  --silent           never answer\n"
    "  --no-cr            answers without their CR\n"
    "  --wrong-echoes N   echo the first N factor commands wrongly\n"
    "  --noise-bursts R   bursts of line noise at this rate\n"
    "  --no-settle        no settling character after the port opens\n"
    "  --count N          N instruments in one bath (1 to 16)\n"
    "  --bath [SPEED]     a calibration bath driven to set points, its time SPEED times faster\n"
    "  --help, --version\n";
}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("velmora-thermometer-sim %s\n", VELMORA_VERSION);
      return 0;
    }
  }
  int count = 1;
  double bathSpeed = 0;  // 0: no driven bath
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--count" && i + 1 < argc) count = std::atoi(argv[i + 1]);
    if (std::string(argv[i]) == "--bath") bathSpeed = i + 1 < argc && argv[i + 1][0] != '-' ? std::atof(argv[i + 1]) : 1.0;
  }
  if (bathSpeed < 0 || bathSpeed > 1000) {
    std::fprintf(stderr, "--bath takes a speed of 1 to 1000\n");
    return 2;
  }
  if (count < 1 || count > 16) {
    std::fprintf(stderr, "--count takes 1 to 16\n");
    return 2;
  }
  std::vector<std::unique_ptr<velmora::sim::PtyThermometer>> sims;
  for (int k = 1; k <= count; ++k) sims.push_back(std::make_unique<velmora::sim::PtyThermometer>(static_cast<std::uint32_t>(k)));
  velmora::sim::PtyThermometer& sim = *sims.front();
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
      } else if (a == "--bath") {
        if (hasValue && argv[i + 1][0] != '-') ++i;
      } else if (a == "--count" && hasValue) {
        ++i;
      } else {
        std::fprintf(stderr, "unknown option: %s\n", a.c_str());
        ok = false;
      }
    }
  });
  if (!ok) return 2;
  std::shared_ptr<velmora::sim::DrivenBath> driven;
  std::unique_ptr<velmora::sim::PtyBath> bathPort;
  if (bathSpeed > 0) {
    driven = std::make_shared<velmora::sim::DrivenBath>();
    driven->speed = bathSpeed;
    bathPort = std::make_unique<velmora::sim::PtyBath>(driven);
  }
  if (count > 1 || driven) {
    // Every instrument in one bath, with the faults asked for.
    velmora::sim::Faults faults;
    sim.withModel([&](velmora::sim::ThermometerModel& m) { faults = m.faults; });
    auto bath = std::make_shared<velmora::sim::Bath>();
    bath->driven = driven;
    for (int k = 1; k <= count; ++k)
      sims[static_cast<std::size_t>(k - 1)]->withModel([&](velmora::sim::ThermometerModel& m) {
        velmora::sim::placeInBath(m, bath, k);
        m.faults = faults;
      });
  }
  for (auto& s : sims) {
    s->setSettleOnOpen(settle);
    if (!s->start()) {
      std::perror("velmora-thermometer-sim: no pseudo-terminal");
      return 1;
    }
    std::printf("%s\n", s->devicePath().c_str());
  }
  if (bathPort) {
    if (!bathPort->start()) {
      std::perror("velmora-thermometer-sim: no pseudo-terminal");
      return 1;
    }
    std::printf("%s\n", bathPort->devicePath().c_str());
  }
  std::fflush(stdout);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (auto& s : sims) s->stop();
  // What each instrument answered, for a load test to hold against what was recorded.
  for (auto& s : sims) {
    long n = 0;
    s->withModel([&](velmora::sim::ThermometerModel& m) { n = m.readings(); });
    std::fprintf(stderr, "answered %s %ld\n", s->devicePath().c_str(), n);
  }
  return 0;
}
