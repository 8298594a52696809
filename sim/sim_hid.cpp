#include "sim/sim_hid.h"

#include <algorithm>
#include <chrono>

namespace qx27::sim {
namespace {

std::u16string HexId(std::uint16_t value) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text;
  for (int shift = 12; shift >= 0; shift -= 4) text.push_back(kDigits[(value >> shift) & 0xF]);
  return text;
}

std::u16string InterfacePath(std::uint16_t vid, std::uint16_t pid, std::u16string_view tag, int collection) {
  std::u16string path = u"\\\\?\\hid#vid_" + HexId(vid) + u"&pid_" + HexId(pid) + u"&col0";
  path.push_back(static_cast<char16_t>(u'0' + collection));
  path += u"#";
  path += tag;
  path += u"#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  return path;
}

}  // namespace

DeviceLayout MouseLayout(std::uint16_t vendor_id, std::uint16_t product_id, std::u16string_view path_tag) {
  DeviceLayout layout{vendor_id, product_id, {}};
  layout.interfaces = {
      {InterfacePath(vendor_id, product_id, path_tag, 1), 5, 0, false},  // the pointer, owned by the system
      {InterfacePath(vendor_id, product_id, path_tag, 2), 0, 40},        // performance
      {InterfacePath(vendor_id, product_id, path_tag, 3), 0, 2049},      // buttons
      {InterfacePath(vendor_id, product_id, path_tag, 4), 0, 8},         // command
      {InterfacePath(vendor_id, product_id, path_tag, 5), 4, 0},         // events
  };
  return layout;
}

DeviceLayout MouseLayoutSharedEventsInterface(std::uint16_t vendor_id, std::uint16_t product_id) {
  DeviceLayout layout{vendor_id, product_id, {}};
  layout.interfaces = {
      {InterfacePath(vendor_id, product_id, u"shared", 1), 5, 0, false},
      {InterfacePath(vendor_id, product_id, u"shared", 2), 0, 40},
      {InterfacePath(vendor_id, product_id, u"shared", 3), 0, 2049},
      {InterfacePath(vendor_id, product_id, u"shared", 4), 4, 8},  // command and events together
  };
  return layout;
}

// ---- SimDevice ----

SimDevice::SimDevice(SimHidBus& bus, DeviceLayout layout) : bus_(bus), layout_(std::move(layout)) {}

void SimDevice::Plug() {
  std::lock_guard lock(bus_.mutex_);
  plugged_ = true;
  bus_.changed_.notify_all();
}

void SimDevice::Unplug() {
  std::lock_guard lock(bus_.mutex_);
  plugged_ = false;
  for (auto& [value, open] : bus_.handles_) {
    if (open.device != this) continue;
    input_lost_ += static_cast<int>(open.input.size());
    open.input.clear();
  }
  bus_.changed_.notify_all();
}

bool SimDevice::plugged() const {
  std::lock_guard lock(bus_.mutex_);
  return plugged_;
}

void SimDevice::StoreReport(std::span<const std::uint8_t> report) {
  if (report.empty()) return;
  std::lock_guard lock(bus_.mutex_);
  reports_[report[0]].assign(report.begin(), report.end());
}

std::vector<std::uint8_t> SimDevice::StoredReport(std::uint8_t report_id) const {
  std::lock_guard lock(bus_.mutex_);
  const auto it = reports_.find(report_id);
  return it == reports_.end() ? std::vector<std::uint8_t>{} : it->second;
}

void SimDevice::RefuseNextSets(int count) {
  std::lock_guard lock(bus_.mutex_);
  refuse_sets_ = count;
}

void SimDevice::RefuseNextSetsOf(std::uint8_t report_id, int count) {
  std::lock_guard lock(bus_.mutex_);
  refuse_sets_of_[report_id] = count;
}

void SimDevice::RefuseNextGetsOf(std::uint8_t report_id, int count) {
  std::lock_guard lock(bus_.mutex_);
  refuse_gets_of_[report_id] = count;
}

void SimDevice::SendInput(std::span<const std::uint8_t> report) {
  std::lock_guard lock(bus_.mutex_);
  if (!plugged_) return;
  // Each handle keeps a small ring of unread input reports; the oldest go.
  constexpr std::size_t kInputRing = 32;
  bool heard = false;
  for (auto& [value, open] : bus_.handles_) {
    if (open.device != this || !open.takes_input) continue;
    if (layout_.interfaces[open.interface_index].input_report_length != static_cast<int>(report.size())) continue;
    if (open.input.size() == kInputRing) {
      open.input.pop_front();
      ++input_lost_;
    }
    open.input.emplace_back(report.begin(), report.end());
    heard = true;
  }
  if (!heard) ++input_lost_;
  bus_.changed_.notify_all();
}

void SimDevice::PressDpiButton(std::uint8_t stage) {
  {
    std::lock_guard lock(bus_.mutex_);
    // Byte 1 of the Performance report is the stage in force.
    if (auto it = reports_.find(3); it != reports_.end() && it->second.size() > 1) it->second[1] = stage;
  }
  const std::uint8_t report[] = {0x02, 0x00, stage, 0x00};
  SendInput(report);
}

int SimDevice::queued_input() const {
  std::lock_guard lock(bus_.mutex_);
  int queued = 0;
  for (const auto& [value, open] : bus_.handles_) {
    if (open.device == this) queued += static_cast<int>(open.input.size());
  }
  return queued;
}

int SimDevice::input_lost() const {
  std::lock_guard lock(bus_.mutex_);
  return input_lost_;
}

int SimDevice::sets_accepted(std::uint8_t report_id) const {
  std::lock_guard lock(bus_.mutex_);
  const auto it = sets_accepted_.find(report_id);
  return it == sets_accepted_.end() ? 0 : it->second;
}

int SimDevice::sets_refused(std::uint8_t report_id) const {
  std::lock_guard lock(bus_.mutex_);
  const auto it = sets_refused_.find(report_id);
  return it == sets_refused_.end() ? 0 : it->second;
}

int SimDevice::gets(std::uint8_t report_id) const {
  std::lock_guard lock(bus_.mutex_);
  const auto it = gets_.find(report_id);
  return it == gets_.end() ? 0 : it->second;
}

std::vector<std::vector<std::uint8_t>> SimDevice::SetLog() const {
  std::lock_guard lock(bus_.mutex_);
  return set_log_;
}

// ---- pending reads ----

class SimPendingRead final : public PendingRead {
 public:
  SimPendingRead(SimHidBus& bus, HidHandle handle, std::span<std::uint8_t> buffer)
      : bus_(bus), handle_(handle), buffer_(buffer) {}

  ~SimPendingRead() override {
    if (!finished_) {
      std::lock_guard lock(bus_.mutex_);
      --bus_.pending_reads_;
    }
  }

  int Wait() override {
    std::unique_lock lock(bus_.mutex_);
    int count = 0;
    bus_.changed_.wait(lock, [&] {
      const SimHidBus::OpenHandle* open = bus_.Find(handle_);
      if (open == nullptr || !open->device->plugged_) return true;  // closed or gone: the read ends
      return !open->input.empty();
    });
    SimHidBus::OpenHandle* open = bus_.Find(handle_);
    if (open != nullptr && open->device->plugged_) {
      auto& queue = open->input;
      const auto& report = queue.front();
      const std::size_t n = std::min(report.size(), buffer_.size());
      std::copy_n(report.begin(), n, buffer_.begin());
      count = static_cast<int>(n);
      queue.pop_front();
    }
    finished_ = true;
    --bus_.pending_reads_;
    return count;
  }

 private:
  SimHidBus& bus_;
  HidHandle handle_;
  std::span<std::uint8_t> buffer_;
  bool finished_ = false;
};

// ---- SimHidBus ----

SimHidBus::SimHidBus() = default;
SimHidBus::~SimHidBus() = default;

SimDevice& SimHidBus::AddDevice(DeviceLayout layout) {
  std::lock_guard lock(mutex_);
  devices_.push_back(std::unique_ptr<SimDevice>(new SimDevice(*this, std::move(layout))));
  return *devices_.back();
}

const SimHidBus::OpenHandle* SimHidBus::Find(HidHandle handle) const {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

SimHidBus::OpenHandle* SimHidBus::Find(HidHandle handle) {
  const auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &it->second;
}

std::vector<std::u16string> SimHidBus::EnumerateInterfaces() {
  std::lock_guard lock(mutex_);
  std::vector<std::u16string> paths;
  for (const auto& device : devices_) {
    if (!device->plugged_) continue;
    for (const auto& interface : device->layout_.interfaces) paths.push_back(interface.path);
  }
  return paths;
}

HidHandle SimHidBus::Open(std::u16string_view path) { return OpenHandleOn(path, true); }

HidHandle SimHidBus::OpenForFeatureRequests(std::u16string_view path) { return OpenHandleOn(path, false); }

HidHandle SimHidBus::OpenHandleOn(std::u16string_view path, bool takes_input) {
  std::lock_guard lock(mutex_);
  for (const auto& device : devices_) {
    if (!device->plugged_) continue;
    const auto& interfaces = device->layout_.interfaces;
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
      if (interfaces[i].path != path) continue;
      if (!interfaces[i].can_open) return kInvalidHid;
      // Values are never reused, so any use of a stale value shows in the books.
      const HidHandle handle = next_handle_;
      next_handle_ += 4;
      handles_[handle] = {device.get(), i, takes_input, {}};
      return handle;
    }
  }
  return kInvalidHid;
}

const SimHidBus::OpenHandle* SimHidBus::LiveHandle(HidHandle handle) {
  const OpenHandle* open = Find(handle);
  if (open == nullptr) {
    ++operations_on_closed_;
    return nullptr;
  }
  return open->device->plugged_ ? open : nullptr;
}

bool SimHidBus::GetCaps(HidHandle handle, HidCaps& caps) {
  std::lock_guard lock(mutex_);
  const OpenHandle* open = LiveHandle(handle);
  if (open == nullptr) return false;
  const auto& interface = open->device->layout_.interfaces[open->interface_index];
  caps.input_report_length = interface.input_report_length;
  caps.feature_report_length = interface.feature_report_length;
  return true;
}

bool SimHidBus::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  std::lock_guard lock(mutex_);
  const OpenHandle* open = LiveHandle(handle);
  if (open == nullptr) return false;
  attributes.vendor_id = open->device->layout_.vendor_id;
  attributes.product_id = open->device->layout_.product_id;
  return true;
}

SimDevice* SimHidBus::FeatureTarget(HidHandle handle, std::size_t report_length) {
  const OpenHandle* open = LiveHandle(handle);
  if (open == nullptr) return nullptr;
  SimDevice& device = *open->device;
  const auto& interface = device.layout_.interfaces[open->interface_index];
  // Like the HID class driver, a buffer that is not the interface's feature
  // length is refused before it reaches the device.
  if (report_length == 0 || interface.feature_report_length == 0 ||
      report_length != static_cast<std::size_t>(interface.feature_report_length)) {
    return nullptr;
  }
  return &device;
}

bool SimHidBus::SetFeature(HidHandle handle, std::span<const std::uint8_t> report) {
  std::lock_guard lock(mutex_);
  SimDevice* target = FeatureTarget(handle, report.size());
  if (target == nullptr) return false;
  SimDevice& device = *target;
  const std::uint8_t id = report[0];
  int& refuse_this_id = device.refuse_sets_of_[id];
  if (device.refuse_sets_ > 0 || refuse_this_id > 0) {
    if (device.refuse_sets_ > 0) {
      --device.refuse_sets_;
    } else {
      --refuse_this_id;
    }
    ++device.sets_refused_[id];
    return false;
  }
  ++device.sets_accepted_[id];
  device.reports_[id].assign(report.begin(), report.end());
  device.set_log_.emplace_back(report.begin(), report.end());
  return true;
}

bool SimHidBus::GetFeature(HidHandle handle, std::span<std::uint8_t> report) {
  std::lock_guard lock(mutex_);
  SimDevice* target = FeatureTarget(handle, report.size());
  if (target == nullptr) return false;
  SimDevice& device = *target;
  const std::uint8_t id = report[0];
  ++device.gets_[id];
  if (int& refuse = device.refuse_gets_of_[id]; refuse > 0) {
    --refuse;
    return false;
  }
  std::fill(report.begin() + 1, report.end(), std::uint8_t{0});
  const auto it = device.reports_.find(id);
  if (it != device.reports_.end()) {
    const std::size_t n = std::min(it->second.size(), report.size());
    std::copy_n(it->second.begin(), n, report.begin());
  }
  return true;
}

std::unique_ptr<PendingRead> SimHidBus::BeginRead(HidHandle handle, std::span<std::uint8_t> buffer) {
  std::lock_guard lock(mutex_);
  ++reads_issued_;
  const OpenHandle* open = Find(handle);
  if (open == nullptr) {
    ++reads_on_closed_;
    return nullptr;
  }
  const auto& interface = open->device->layout_.interfaces[open->interface_index];
  if (!open->device->plugged_ || interface.input_report_length == 0) return nullptr;
  ++pending_reads_;
  changed_.notify_all();
  return std::make_unique<SimPendingRead>(*this, handle, buffer);
}

void SimHidBus::Close(HidHandle handle) {
  std::lock_guard lock(mutex_);
  const auto it = handles_.find(handle);
  if (it == handles_.end()) {
    ++closes_of_closed_;
    return;
  }
  // What the handle's queue still holds goes with it.
  it->second.device->input_lost_ += static_cast<int>(it->second.input.size());
  handles_.erase(it);
  changed_.notify_all();  // a read pending on it ends
}

int SimHidBus::open_handles() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(handles_.size());
}

int SimHidBus::open_handles_on(const SimDevice& device) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(handles_.begin(), handles_.end(),
                                        [&](const auto& entry) { return entry.second.device == &device; }));
}

int SimHidBus::reads_on_closed_handles() const {
  std::lock_guard lock(mutex_);
  return reads_on_closed_;
}

int SimHidBus::closes_of_closed_handles() const {
  std::lock_guard lock(mutex_);
  return closes_of_closed_;
}

int SimHidBus::operations_on_closed_handles() const {
  std::lock_guard lock(mutex_);
  return operations_on_closed_;
}

int SimHidBus::reads_issued() const {
  std::lock_guard lock(mutex_);
  return reads_issued_;
}

std::vector<std::u16string> SimHidBus::OpenPaths() const {
  std::lock_guard lock(mutex_);
  std::vector<std::u16string> paths;
  for (const auto& [handle, open] : handles_)
    paths.push_back(open.device->layout_.interfaces[open.interface_index].path);
  return paths;
}

bool SimHidBus::WaitForPendingRead(int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return pending_reads_ > 0; });
}

}  // namespace qx27::sim
