// The simulated mouse and the HID bus it sits on. It stands in for the real
// mouse in every test without hardware: reports that are set are stored and
// returned on get, input reports arrive on demand, sets can be refused, the
// mouse can be unplugged and plugged, and its interfaces are told apart by
// their report lengths, as the real one's are. Other HID devices can sit
// beside it. As the HID class driver does, each open handle has an input
// queue of its own: a report reaches the handles open at that moment, and one
// left unread in a handle that closes is gone. The bus also keeps the books on handles, so tests can prove that
// no handle leaks, none is closed twice and no read is issued on a closed one.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "ports/hid_port.h"

namespace qx27::sim {

struct InterfaceLayout {
  std::u16string path;
  int input_report_length = 0;
  int feature_report_length = 0;
  bool can_open = true;  // false: held exclusively by the system, like a keyboard
};

struct DeviceLayout {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::vector<InterfaceLayout> interfaces;
};

// The mouse's own layout: performance (40), buttons (2049), command (8) and
// events (input 4) on separate interfaces, plus the system-owned pointer
// collection that cannot be opened.
DeviceLayout MouseLayout(std::uint16_t vendor_id = 0x3938, std::uint16_t product_id = 0x1101,
                         std::u16string_view path_tag = u"mouse");
// The same mouse with the command and events roles on one interface.
DeviceLayout MouseLayoutSharedEventsInterface(std::uint16_t vendor_id = 0x3938, std::uint16_t product_id = 0x1101);

class SimHidBus;

// One device on the bus. All operations are thread-safe.
class SimDevice {
 public:
  const DeviceLayout& layout() const { return layout_; }

  void Plug();
  void Unplug();
  bool plugged() const;

  // What a get of this report ID returns (report ID included).
  void StoreReport(std::span<const std::uint8_t> report);
  std::vector<std::uint8_t> StoredReport(std::uint8_t report_id) const;
  // The next `count` sets are refused, as a busy device does.
  void RefuseNextSets(int count);
  // The next `count` sets or gets of this report ID are refused.
  void RefuseNextSetsOf(std::uint8_t report_id, int count);
  void RefuseNextGetsOf(std::uint8_t report_id, int count);
  // An input report for the interface with this input-report length: a copy
  // joins the queue of each handle open on it now.
  void SendInput(std::span<const std::uint8_t> report);
  // A press of the DPI button: the stage the Performance report now carries,
  // and the input report 02 00 stage 00.
  void PressDpiButton(std::uint8_t stage);
  // Input reports waiting in the queues of open handles.
  int queued_input() const;
  // Input reports the system let go: sent while no handle was open, pushed
  // out of a full queue, or left unread in a handle that closed or on an
  // unplugged device.
  int input_lost() const;

  int sets_accepted(std::uint8_t report_id) const;
  int sets_refused(std::uint8_t report_id) const;
  int gets(std::uint8_t report_id) const;
  // Every feature report accepted, in order.
  std::vector<std::vector<std::uint8_t>> SetLog() const;

 private:
  friend class SimHidBus;
  friend class SimPendingRead;
  SimDevice(SimHidBus& bus, DeviceLayout layout);

  SimHidBus& bus_;
  DeviceLayout layout_;
  bool plugged_ = true;
  std::map<std::uint8_t, std::vector<std::uint8_t>> reports_;
  int refuse_sets_ = 0;
  std::map<std::uint8_t, int> refuse_sets_of_, refuse_gets_of_;
  std::map<std::uint8_t, int> sets_accepted_, sets_refused_, gets_;
  std::vector<std::vector<std::uint8_t>> set_log_;
  int input_lost_ = 0;
};

// The system's HID devices as the HID port presents them.
class SimHidBus final : public HidPort {
 public:
  SimHidBus();
  ~SimHidBus() override;

  SimDevice& AddDevice(DeviceLayout layout);
  // A handle for feature reports asked for on behalf of another process: it
  // takes no input reports, those go to the handles of the process itself.
  HidHandle OpenForFeatureRequests(std::u16string_view path);

  // HidPort
  std::vector<std::u16string> EnumerateInterfaces() override;
  HidHandle Open(std::u16string_view path) override;
  bool GetCaps(HidHandle handle, HidCaps& caps) override;
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool SetFeature(HidHandle handle, std::span<const std::uint8_t> report) override;
  bool GetFeature(HidHandle handle, std::span<std::uint8_t> report) override;
  std::unique_ptr<PendingRead> BeginRead(HidHandle handle, std::span<std::uint8_t> buffer) override;
  void Close(HidHandle handle) override;

  // The books.
  int open_handles() const;
  int open_handles_on(const SimDevice& device) const;
  int reads_on_closed_handles() const;
  int closes_of_closed_handles() const;
  int operations_on_closed_handles() const;  // set, get or caps on a closed value
  int reads_issued() const;
  // Paths of the interfaces the open handles belong to.
  std::vector<std::u16string> OpenPaths() const;
  // Blocks until a read is pending on an interface with this input-report
  // length, or the timeout (real milliseconds) passes.
  bool WaitForPendingRead(int timeout_ms) const;

 private:
  friend class SimDevice;
  friend class SimPendingRead;
  struct OpenHandle {
    SimDevice* device;
    std::size_t interface_index;
    bool takes_input = true;
    std::deque<std::vector<std::uint8_t>> input;
  };
  HidHandle OpenHandleOn(std::u16string_view path, bool takes_input);
  const OpenHandle* Find(HidHandle handle) const;
  OpenHandle* Find(HidHandle handle);
  // An open handle of a plugged device, or null; a closed value is counted.
  const OpenHandle* LiveHandle(HidHandle handle);
  // The device a feature report of this length goes to on this handle, or
  // null (closed handle, unplugged device, wrong length).
  SimDevice* FeatureTarget(HidHandle handle, std::size_t report_length);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::unique_ptr<SimDevice>> devices_;
  std::map<HidHandle, OpenHandle> handles_;
  HidHandle next_handle_ = 0x100;
  int reads_on_closed_ = 0;
  int closes_of_closed_ = 0;
  int operations_on_closed_ = 0;
  int reads_issued_ = 0;
  int pending_reads_ = 0;
};

}  // namespace qx27::sim
