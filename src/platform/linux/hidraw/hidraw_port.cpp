#include "platform/linux/hidraw/hidraw_port.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/text.h"
#include "platform/linux/hidraw/report_descriptor.h"

namespace qx27::hidraw {

// One opened node and the wake-up that ends a read pending on it. Shared by
// the port and the reads issued on it, so the descriptor stays open (and its
// number taken) until the last read using it has ended.
struct HidrawPort::OpenNode {
  OpenNode(int device_fd, int wake_fd) : device(device_fd), wake(wake_fd) {}
  ~OpenNode() {
    ::close(device);
    ::close(wake);
  }
  OpenNode(const OpenNode&) = delete;
  OpenNode& operator=(const OpenNode&) = delete;

  // Stays signalled: every read on a closed node ends at once.
  void Wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake, &one, sizeof one);
  }

  const int device;
  const int wake;
};

namespace {

struct DeviceIds {
  std::uint32_t vendor = 0;
  std::uint32_t product = 0;
};

// sysfs pages are at most this long.
constexpr std::size_t kMaxUeventSize = 4096;
// The ioctl number carries the length in a 14-bit field.
constexpr std::size_t kMaxIoctlLength = (1u << _IOC_SIZEBITS) - 1;

std::optional<std::uint32_t> HexField(std::string_view text) {
  std::uint32_t value = 0;
  if (text.empty() || text.size() > 8) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The HID_ID line of a HID device's uevent: "HID_ID=bus:vendor:product" in hex.
std::optional<DeviceIds> IdsFromUevent(std::string_view uevent) {
  constexpr std::string_view kKey = "HID_ID=";
  while (!uevent.empty()) {
    const std::size_t line_end = std::min(uevent.find('\n'), uevent.size());
    std::string_view line = uevent.substr(0, line_end);
    uevent.remove_prefix(std::min(line_end + 1, uevent.size()));
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const auto bus = HexField(line.substr(0, first));
    const auto vendor = HexField(line.substr(first + 1, second - first - 1));
    const auto product = HexField(line.substr(second + 1));
    if (!bus || !vendor || !product) return std::nullopt;
    return DeviceIds{*vendor, *product};
  }
  return std::nullopt;
}

std::string ReadSmallFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text(kMaxUeventSize, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return text;
}

// The node number of "hidrawN", or nothing for any other name.
std::optional<unsigned> NodeNumber(std::string_view name) {
  constexpr std::string_view kPrefix = "hidraw";
  if (!name.starts_with(kPrefix) || name.size() == kPrefix.size()) return std::nullopt;
  unsigned number = 0;
  const char* digits_end = name.data() + name.size();
  const auto [end, error] = std::from_chars(name.data() + kPrefix.size(), digits_end, number);
  if (error != std::errc() || end != digits_end) return std::nullopt;
  return number;
}

bool Contains(const std::vector<std::uint16_t>& ids, std::uint32_t id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

class HidrawPendingRead final : public PendingRead {
 public:
  HidrawPendingRead(std::shared_ptr<const HidrawPort::OpenNode> node, std::span<std::uint8_t> buffer)
      : node_(std::move(node)), buffer_(buffer) {}

  int Wait() override {
    if (!done_) {
      bytes_ = ReadOne();
      done_ = true;
    }
    return bytes_;
  }

 private:
  int ReadOne() {
    for (;;) {
      std::array<pollfd, 2> fds{{{node_->device, POLLIN, 0}, {node_->wake, POLLIN, 0}}};
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return 0;
      }
      // A closed node ends the read even when a report is waiting too.
      if (fds[1].revents != 0) return 0;
      // An unplugged device reports an error on its node; the caller retries
      // until a new search replaces the handle.
      if ((fds[0].revents & POLLIN) == 0) return 0;
      const ssize_t bytes = ::read(node_->device, buffer_.data(), buffer_.size());
      if (bytes > 0) return static_cast<int>(bytes);
      // Another reader of the node may have taken the report first.
      if (bytes < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      return 0;
    }
  }

  std::shared_ptr<const HidrawPort::OpenNode> node_;
  std::span<std::uint8_t> buffer_;
  bool done_ = false;
  int bytes_ = 0;
};

}  // namespace

HidrawPort::HidrawPort(HidrawDeviceFilter filter, HidrawLocations locations)
    : filter_(std::move(filter)), locations_(std::move(locations)) {}

HidrawPort::~HidrawPort() {
  std::lock_guard lock(mutex_);
  for (const auto& [handle, node] : nodes_) node->Wake();
  nodes_.clear();
}

std::vector<std::u16string> HidrawPort::EnumerateInterfaces() {
  std::vector<std::pair<unsigned, std::string>> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(locations_.sysfs_root, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    const auto number = NodeNumber(name);
    if (!number) continue;
    // The node's "device" is the HID device it belongs to.
    const auto ids = IdsFromUevent(ReadSmallFile(it->path() / "device" / "uevent"));
    if (!ids || !Contains(filter_.vendor_ids, ids->vendor) || !Contains(filter_.product_ids, ids->product)) continue;
    found.emplace_back(*number, name);
  }
  std::sort(found.begin(), found.end());

  std::vector<std::u16string> paths;
  for (const auto& [number, name] : found) paths.push_back(FromUtf8((locations_.dev_root / name).string()));
  return paths;
}

HidHandle HidrawPort::Open(std::u16string_view path) {
  const std::string native_path = ToUtf8(path);
  // A NUL would cut the path short and open some other file.
  if (native_path.find('\0') != std::string::npos) return kInvalidHid;
  const int device = ::open(native_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (device < 0) return kInvalidHid;
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    ::close(device);
    return kInvalidHid;
  }
  auto node = std::make_shared<OpenNode>(device, wake);
  std::lock_guard lock(mutex_);
  const HidHandle handle = next_handle_++;
  nodes_.emplace(handle, std::move(node));
  return handle;
}

std::shared_ptr<HidrawPort::OpenNode> HidrawPort::Find(HidHandle handle) const {
  std::lock_guard lock(mutex_);
  const auto it = nodes_.find(handle);
  return it == nodes_.end() ? nullptr : it->second;
}

bool HidrawPort::GetCaps(HidHandle handle, HidCaps& caps) {
  const auto node = Find(handle);
  if (!node) return false;
  int size = 0;
  if (::ioctl(node->device, HIDIOCGRDESCSIZE, &size) < 0) return false;
  if (size < 0 || size > HID_MAX_DESCRIPTOR_SIZE) return false;
  hidraw_report_descriptor descriptor{};
  descriptor.size = static_cast<std::uint32_t>(size);
  if (::ioctl(node->device, HIDIOCGRDESC, &descriptor) < 0) return false;
  const auto summary = ParseReportDescriptor(std::span(descriptor.value, descriptor.size));
  if (!summary) return false;
  caps.input_report_length = summary->largest_input_length;
  caps.feature_report_length = summary->largest_feature_length;
  return true;
}

bool HidrawPort::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  const auto node = Find(handle);
  if (!node) return false;
  hidraw_devinfo info{};
  if (::ioctl(node->device, HIDIOCGRAWINFO, &info) < 0) return false;
  attributes.vendor_id = static_cast<std::uint16_t>(info.vendor);
  attributes.product_id = static_cast<std::uint16_t>(info.product);
  return true;
}

bool HidrawPort::SetFeature(HidHandle handle, std::span<const std::uint8_t> report) {
  const auto node = Find(handle);
  if (!node || report.empty() || report.size() > kMaxIoctlLength) return false;
  return ::ioctl(node->device, HIDIOCSFEATURE(report.size()), report.data()) >= 0;
}

bool HidrawPort::GetFeature(HidHandle handle, std::span<std::uint8_t> report) {
  const auto node = Find(handle);
  if (!node || report.empty() || report.size() > kMaxIoctlLength) return false;
  const int bytes = ::ioctl(node->device, HIDIOCGFEATURE(report.size()), report.data());
  if (bytes <= 0) return false;
  // A shorter answer leaves no bytes of an earlier report behind it.
  std::fill(report.begin() + std::min<std::size_t>(static_cast<std::size_t>(bytes), report.size()), report.end(), 0);
  return true;
}

std::unique_ptr<PendingRead> HidrawPort::BeginRead(HidHandle handle, std::span<std::uint8_t> buffer) {
  auto node = Find(handle);
  if (!node || buffer.empty()) return nullptr;
  return std::make_unique<HidrawPendingRead>(std::move(node), buffer);
}

void HidrawPort::Close(HidHandle handle) {
  std::shared_ptr<OpenNode> node;
  {
    std::lock_guard lock(mutex_);
    const auto it = nodes_.find(handle);
    if (it == nodes_.end()) return;
    node = std::move(it->second);
    nodes_.erase(it);
  }
  node->Wake();
}

}  // namespace qx27::hidraw
