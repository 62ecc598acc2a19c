#include <hidapi.h>

#include <cwchar>

#include "device/hid_backend.h"

namespace velmora {

namespace {

std::string narrow(const wchar_t* w) {
  std::string s;
  if (!w) return s;
  for (; *w; ++w) {
    const auto c = static_cast<std::uint32_t>(*w);
    if (c < 0x80) {
      s.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      s.push_back(static_cast<char>(0xC0 | (c >> 6)));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      s.push_back(static_cast<char>(0xE0 | ((c >> 12) & 0x0F)));
      s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return s;
}

// The adapter's reports are 64 bytes; with the report id byte 65.
constexpr std::size_t kReportLength = 65;

class HidapiHandle : public HidHandle {
 public:
  explicit HidapiHandle(hid_device* d) : m_device(d) {}
  ~HidapiHandle() override { hid_close(m_device); }
  int read(std::uint8_t* buffer, std::size_t length, int timeoutMs) override {
    // hidapi leaves out the report id when the device uses none: put the 0 back in front.
    if (length < 2) return -1;
    const int n = hid_read_timeout(m_device, buffer + 1, length - 1, timeoutMs);
    if (n <= 0) return n;
    buffer[0] = 0;
    return n + 1;
  }
  int write(const std::uint8_t* data, std::size_t length) override { return hid_write(m_device, data, length); }
  std::size_t inputReportLength() const override { return kReportLength; }
  std::size_t outputReportLength() const override { return kReportLength; }
  std::string lastError() const override { return narrow(hid_error(m_device)); }
  int lastErrorCode() const override { return -1; }

 private:
  hid_device* m_device;
};

class HidapiBackend : public HidBackend {
 public:
  HidapiBackend() : m_ok(hid_init() == 0) {}
  ~HidapiBackend() override {
    if (m_ok) hid_exit();
  }
  bool available() const override { return m_ok; }
  std::vector<HidDeviceInfo> enumerate() override {
    std::vector<HidDeviceInfo> out;
    if (!m_ok) return out;
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* d = list; d; d = d->next) {
      HidDeviceInfo info;
      info.path = d->path ? d->path : "";
      info.vendorId = d->vendor_id;
      info.productId = d->product_id;
      info.product = narrow(d->product_string);
      info.manufacturer = narrow(d->manufacturer_string);
      info.serial = narrow(d->serial_number);
      out.push_back(std::move(info));
    }
    hid_free_enumeration(list);
    return out;
  }
  std::unique_ptr<HidHandle> open(const HidDeviceInfo& device) override {
    if (!m_ok) return nullptr;
    hid_device* d = hid_open_path(device.path.c_str());
    if (!d) return nullptr;
    return std::make_unique<HidapiHandle>(d);
  }

 private:
  bool m_ok;
};

}  // namespace

std::unique_ptr<HidBackend> makeHidapiBackend() { return std::make_unique<HidapiBackend>(); }

}  // namespace velmora
