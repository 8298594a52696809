// The HID link: the agent's one connection to the mouse. It points its feature
// handle at the mouse interface whose feature reports have the length about to
// be exchanged, and keeps a second handle on the interface that delivers input
// reports, for the reader thread.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "hid/hid_roles.h"
#include "interfaces/mouse_identity.h"
#include "ports/clock_port.h"
#include "ports/debug_port.h"
#include "ports/hid_port.h"
#include "ports/window_port.h"

namespace qx27 {

class HidLink {
 public:
  static constexpr std::size_t kInputBufferSize = 1000;

  explicit HidLink(HidPort& port);
  // Ends the reader thread before it closes the handles and frees the input
  // buffer the thread reads into.
  ~HidLink();
  HidLink(const HidLink&) = delete;
  HidLink& operator=(const HidLink&) = delete;

  // Searches the present HID interfaces for the mouse. Gives 1 when an
  // interface with this feature-report length was found and is now the
  // feature handle. Always closes and re-acquires the input handle.
  int OpenInterface(int feature_report_length);
  // The first byte is the report ID; the span's size is the report length.
  int SetFeature(std::span<const std::uint8_t> report);
  int GetFeature(std::span<std::uint8_t> report);
  void CloseFeatureHandle();
  bool FeatureHandleOpen() const { return feature_handle() != kInvalidHid; }

  // Makes the first search, starts the reader thread that posts the mouse's
  // DPI-stage events to `window`, and registers `window` for the arrival and
  // removal of HID interfaces. Gives 1 when the registration succeeded.
  int StartHidLink(WindowPort& windows, DebugPort& debug, ClockPort& clock, WindowHandle window,
                   std::uintptr_t& device_notification);

  void SetSecondIds(int vendor_id, int product_id);
  int second_vendor_id() const { return second_vendor_id_; }
  int second_product_id() const { return second_product_id_; }

  HidHandle feature_handle() const { return roles_.Get(HidRoles::kFeature); }
  HidHandle input_handle() const;
  int input_report_length() const { return input_report_length_; }
  WindowHandle notification_window() const { return notification_window_; }

 private:
  struct ReaderContext {
    WindowPort& windows;
    DebugPort& debug;
    ClockPort& clock;
  };
  void ReaderThread(ReaderContext context);
  // Writes the report to the debugger output and turns a DPI-stage event
  // into a message to the notification window.
  void HandleInputReport(const ReaderContext& context, std::span<const std::uint8_t, kInputBufferSize> report,
                         int length);

  bool BelongsToMouse(const HidAttributes& attributes) const;
  // Swaps the input handle under the lock the reader takes to issue a read,
  // so no read is ever issued on a value that has been closed.
  void ReplaceInputHandle(HidHandle handle);

  HidPort& port_;
  // Held by the window's thread while it changes a role's handle and by the
  // reader while it issues a read, never while the reader waits for one:
  // a read is never issued on a value that has been closed, and closing the
  // handle ends the read that is waiting on it.
  mutable std::mutex input_mutex_;
  std::condition_variable input_changed_;
  bool stopping_ = false;
  // The feature and input handles; changed only under input_mutex_.
  HidRoles roles_;
  std::unique_ptr<std::array<std::uint8_t, kInputBufferSize>> input_buffer_;
  int input_report_length_ = static_cast<int>(mouse::kInputReportLength);
  WindowHandle notification_window_ = 0;
  int second_product_id_ = 0;
  int second_vendor_id_ = 0;
  std::thread reader_;
};

}  // namespace qx27
