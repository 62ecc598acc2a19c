// Built without a HID library: no USB adapter is ever reported; serial ports still work.
#include "device/hid_backend.h"

namespace velmora {

namespace {
class NoHid : public HidBackend {
 public:
  bool available() const override { return false; }
  std::vector<HidDeviceInfo> enumerate() override { return {}; }
  std::unique_ptr<HidHandle> open(const HidDeviceInfo&) override { return nullptr; }
};
}  // namespace

std::unique_ptr<HidBackend> makeHidapiBackend() { return std::make_unique<NoHid>(); }

}  // namespace velmora
