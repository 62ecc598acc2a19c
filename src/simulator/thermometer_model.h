#pragma once
// A model of the thermometer for tests and the demo port: a platinum sensor following the
// Callendar–Van Dusen equation, a temperature profile, and the instrument's stored factors
// through which it turns the sensor's resistance into the temperature it reports. Writing
// new factors therefore changes its readings the way a real instrument's do.

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "math/platinum.h"

namespace velmora::sim {

struct Profile {
  enum class Kind { Steady, Ramp, Step, Sine };
  Kind kind = Kind::Sine;
  double base = 21.0;          // °C
  double ratePerMinute = 0.5;  // ramp slope
  double stepAfterSeconds = 60;
  double stepSize = 10;
  double amplitude = 2.0;  // sine
  double periodSeconds = 600;
  double noise = 0.002;  // standard deviation, °C
};

struct Faults {
  bool silent = false;        // answers nothing
  int slowMs = 0;             // answers after this delay (the front end waits)
  double garbageRate = 0;     // share of answers replaced by random bytes
  bool withoutCr = false;     // answers lack their CR
  int wrongEchoes = 0;        // the next N echoes come back altered
  double noiseBurstRate = 0;  // share of answers preceded by a burst of random bytes
  int storeDifferent = -1;    // factor 0..3 is stored 0.1 % off the value written
};

// A bath shared by several probes: a slowly moving temperature (a long, small sine about a
// base). A probe in it follows with its own first-order time constant.
class DrivenBath;
struct Bath {
  // A bath driven to set points (the comparison bench's): when there, the probes follow it
  // instead of the sine below.
  std::shared_ptr<DrivenBath> driven;
  double base = 21.0;
  double amplitude = 0.05;
  double periodSeconds = 1800;
  double temperatureAt(double seconds) const;
  // What a probe with time constant `tau` (s) sees at `seconds`: the bath's sine lagged and
  // damped as a first-order sensor follows it.
  double probeAt(double seconds, double tau) const;
};

class ThermometerModel;
// Puts a model's probe into a shared bath as probe `index` (1 …): probe 1 is the steady
// reference (little noise, no offset); the others have their own offset, noise, time constant
// and sensor, and the instrument holds the nominal factors, so each reads a little off.
void placeInBath(ThermometerModel& model, std::shared_ptr<const Bath> bath, int index);

class ThermometerModel {
 public:
  explicit ThermometerModel(std::uint32_t seed = 1);

  // Bytes from the program; returns the bytes the instrument answers at once (the front end
  // applies Faults::slowMs). Commands are CR-terminated lines; LF and NUL are ignored.
  std::string receive(std::string_view bytes, double nowSeconds);

  double temperatureAt(double seconds) const;  // the true temperature, without noise
  std::string factorLine() const;

  Profile profile;
  Faults faults;
  // In a bath (instead of the profile): the bath, the probe's offset (°C) and time constant (s).
  std::shared_ptr<const Bath> bath;
  double bathOffset = 0;
  double bathTau = 0;
  double bathGradient = 0;  // in a driven bath: °C per °C away from 20 °C where the probe sits
  math::TCofSet sensor{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};  // the physical sensor
  math::TCofSet stored{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};  // the instrument's factors

  long readings() const { return m_readings; }  // "d" commands answered

 private:
  std::string answer(std::string_view line, double nowSeconds);
  std::string randomBytes(int n);

  std::string m_line;
  std::mt19937 m_rng;
  int m_pendingIndex = -1;
  double m_pendingValue = 0;
  long m_readings = 0;
};

}  // namespace velmora::sim
