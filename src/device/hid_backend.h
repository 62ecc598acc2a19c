#pragma once
// What the program needs of the system's HID services: listing the devices, opening one,
// reading input reports with a time-out, writing output reports. The hidapi implementation
// is in hid_backend_hidapi.cpp; tests use a fake.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

struct HidDeviceInfo {
  std::string path;  // identifies the device while it is present
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::string product;
  std::string manufacturer;
  std::string serial;
};

class HidHandle {
 public:
  virtual ~HidHandle() = default;
  // One input report into `buffer` (its report id first); 0 on time-out, -1 on error.
  virtual int read(std::uint8_t* buffer, std::size_t length, int timeoutMs) = 0;
  // One whole output report (report id first); -1 on error.
  virtual int write(const std::uint8_t* data, std::size_t length) = 0;
  virtual std::size_t inputReportLength() const = 0;   // including the report id byte
  virtual std::size_t outputReportLength() const = 0;  // including the report id byte
  virtual std::string lastError() const = 0;
  virtual int lastErrorCode() const = 0;
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  virtual bool available() const = 0;  // false when the system offers no HID support
  virtual std::vector<HidDeviceInfo> enumerate() = 0;
  virtual std::unique_ptr<HidHandle> open(const HidDeviceInfo& device) = 0;
};

// hidapi (hidraw on Linux); nullptr-free: when hidapi cannot start, available() is false.
std::unique_ptr<HidBackend> makeHidapiBackend();

}  // namespace velmora
