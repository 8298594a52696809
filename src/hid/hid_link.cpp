#include "hid/hid_link.h"

#include <algorithm>

#include "hid/input_report.h"
#include "interfaces/companion_ui.h"
#include "interfaces/mouse_identity.h"

namespace qx27 {

HidLink::HidLink(HidPort& port)
    : port_(port), roles_(port), input_buffer_(std::make_unique<std::array<std::uint8_t, kInputBufferSize>>()) {
  input_buffer_->fill(0);
}

HidLink::~HidLink() {
  {
    // The reader has no stop request of its own: the flag keeps it from
    // issuing another read, and closing the input handle ends the one it
    // may be waiting on.
    std::lock_guard lock(input_mutex_);
    stopping_ = true;
    roles_.Close(HidRoles::kInput);
  }
  input_changed_.notify_all();
  if (reader_.joinable()) reader_.join();
  CloseFeatureHandle();
  input_buffer_.reset();
}

HidHandle HidLink::input_handle() const {
  std::lock_guard lock(input_mutex_);
  return roles_.Get(HidRoles::kInput);
}

void HidLink::SetSecondIds(int vendor_id, int product_id) {
  second_vendor_id_ = vendor_id;
  second_product_id_ = product_id;
}

bool HidLink::BelongsToMouse(const HidAttributes& attributes) const {
  // Vendor and product are tested independently, so every pairing of the two
  // identities is taken for the mouse.
  const int vendor = attributes.vendor_id;
  const int product = attributes.product_id;
  const bool vendor_matches = vendor == mouse::kVendorId || vendor == second_vendor_id_;
  const bool product_matches = product == mouse::kProductId || product == second_product_id_;
  return vendor_matches && product_matches;
}

void HidLink::CloseFeatureHandle() {
  if (feature_handle() == kInvalidHid) return;
  // One interface may hold both roles; the input role then loses its handle
  // too, or the reader would issue its next read on a closed value.
  std::lock_guard lock(input_mutex_);
  roles_.Close(HidRoles::kFeature);
}

void HidLink::ReplaceInputHandle(HidHandle handle) {
  {
    std::lock_guard lock(input_mutex_);
    roles_.Set(HidRoles::kInput, handle);
  }
  input_changed_.notify_all();
}

int HidLink::StartHidLink(WindowPort& windows, DebugPort& debug, ClockPort& clock, WindowHandle window,
                          std::uintptr_t& device_notification) {
  notification_window_ = window;
  OpenInterface(mouse::kStartupSearchLength);
  if (!reader_.joinable()) reader_ = std::thread(&HidLink::ReaderThread, this, ReaderContext{windows, debug, clock});
  device_notification = windows.RegisterHidNotifications(window);
  return device_notification != 0 ? 1 : 0;
}

void HidLink::ReaderThread(ReaderContext context) {
  std::array<std::uint8_t, kInputBufferSize> local{};
  const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(input_report_length_), kInputBufferSize);
  for (;;) {
    std::unique_ptr<PendingRead> read;
    {
      std::unique_lock lock(input_mutex_);
      // While no input interface is open there is nothing to read: sleep
      // until a search installs one, rather than waking every 10 ms for as
      // long as the mouse is away.
      input_changed_.wait(lock, [&] { return stopping_ || roles_.Get(HidRoles::kInput) != kInvalidHid; });
      if (stopping_) return;
      read = port_.BeginRead(roles_.Get(HidRoles::kInput), std::span(input_buffer_->data(), length));
    }
    const int bytes = read ? read->Wait() : 0;
    read.reset();
    if (bytes > 0) {
      local.fill(0);
      std::copy_n(input_buffer_->begin(), length, local.begin());
      HandleInputReport(context, local, input_report_length_);
    }
    context.clock.Sleep(10);
  }
}

void HidLink::HandleInputReport(const ReaderContext& context, std::span<const std::uint8_t, kInputBufferSize> report,
                                int length) {
  context.debug.Output(FormatInputReportLine(length, report.first<8>()));
  const int stage = DpiStageOf(report.first<mouse::kInputReportLength>());
  if (stage != 0) context.windows.Post(notification_window_, companion::kDpiStageEvent, static_cast<WParam>(stage), 0);
}

int HidLink::OpenInterface(int feature_report_length) {
  CloseFeatureHandle();
  ReplaceInputHandle(kInvalidHid);

  // The last interface found for each role wins; the reader cannot see
  // these until the search is over.
  HidRoles found(port_);

  for (const std::u16string& path : port_.EnumerateInterfaces()) {
    const HidHandle handle = port_.Open(path);
    // Keyboards and system mice are opened exclusively by the system; they
    // are skipped like any interface that does not open.
    if (handle == kInvalidHid) continue;

    HidCaps caps;
    HidAttributes attributes;
    if (!port_.GetCaps(handle, caps) || !port_.GetAttributes(handle, attributes) || !BelongsToMouse(attributes)) {
      port_.Close(handle);
      continue;
    }
    const bool feature_role = caps.feature_report_length == feature_report_length;
    const bool input_role = caps.input_report_length == input_report_length_;
    if (feature_role) found.Set(HidRoles::kFeature, handle);
    if (input_role) found.Set(HidRoles::kInput, handle);
    if (!feature_role && !input_role) port_.Close(handle);
  }

  {
    std::lock_guard lock(input_mutex_);
    found.MoveTo(roles_);
  }
  input_changed_.notify_all();
  return FeatureHandleOpen() ? 1 : 0;
}

int HidLink::SetFeature(std::span<const std::uint8_t> report) {
  if (!FeatureHandleOpen() || report.empty()) return 0;
  return port_.SetFeature(feature_handle(), report) ? 1 : 0;
}

int HidLink::GetFeature(std::span<std::uint8_t> report) {
  if (!FeatureHandleOpen() || report.empty()) return 0;
  return port_.GetFeature(feature_handle(), report) ? 1 : 0;
}

}  // namespace qx27
