#define FUSE_USE_VERSION 35
#include "sim/linux/fuse_mouse.h"

#include <fuse_lowlevel.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "sim/report_text.h"

namespace qx27::sim {
namespace {

namespace fs = std::filesystem;

constexpr fuse_ino_t kFirstNodeInode = FUSE_ROOT_ID + 1;
// The kernel's hidraw keeps this many reports per open file and drops the
// oldest beyond.
constexpr std::size_t kMaxQueuedReports = 64;

std::string NodeName(std::size_t index) { return "hidraw" + std::to_string(index); }

// The mouse's report IDs by the role the length gives the interface.
std::uint8_t FeatureReportId(int length) {
  switch (length) {
    case 40:
      return 3;
    case 2049:
      return 4;
    case 8:
      return 6;
    default:
      return 1;
  }
}
std::uint8_t InputReportId(int length) { return length == 4 ? 2 : 1; }

std::string Hex8(std::uint16_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

bool IsHidrawCommand(unsigned command, unsigned number) {
  return _IOC_TYPE(command) == 'H' && _IOC_NR(command) == number && _IOC_DIR(command) == (_IOC_READ | _IOC_WRITE);
}

}  // namespace

std::vector<std::uint8_t> InterfaceReportDescriptor(const InterfaceLayout& interface) {
  // Usage Page (vendor FF00), Usage 1, Collection (Application), Logical
  // Minimum 0, Logical Maximum 255, Report Size 8.
  std::vector<std::uint8_t> descriptor{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                       0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08};
  const auto report = [&](std::uint8_t id, int length, std::uint8_t main_item) {
    const int count = length - 1;  // the report ID is the first byte
    // Report ID, Usage, Report Count (two bytes), the main item (Data, Var, Abs).
    descriptor.insert(descriptor.end(), {0x85, id, 0x09, id, 0x96, static_cast<std::uint8_t>(count & 0xFF),
                                         static_cast<std::uint8_t>(count >> 8), main_item, 0x02});
  };
  if (interface.input_report_length > 1) {
    report(InputReportId(interface.input_report_length), interface.input_report_length, 0x81);
  }
  if (interface.feature_report_length > 1) {
    report(FeatureReportId(interface.feature_report_length), interface.feature_report_length, 0xB1);
  }
  descriptor.push_back(0xC0);  // End Collection
  return descriptor;
}

// One open file on a node. On the events interface a thread hands the input
// reports from the mouse's handle to the file's queue and wakes a poller.
struct OpenFile {
  std::size_t index = 0;
  std::string name;  // the interface's name in MouseService requests
  HidHandle connection = kInvalidHid;
  std::thread delivery;

  std::mutex mutex;  // guards what follows
  std::deque<std::vector<std::uint8_t>> input;
  bool gone = false;  // the mouse was unplugged under it
  fuse_pollhandle* poller = nullptr;

  // With `mutex` held.
  void WakePoller() {
    if (poller == nullptr) return;
    fuse_lowlevel_notify_poll(poller);
    fuse_pollhandle_destroy(poller);
    poller = nullptr;
  }
};

struct FuseMouse::State {
  State(MouseService& mouse_service, FuseMouseFolders mouse_folders)
      : service(mouse_service), folders(std::move(mouse_folders)) {}

  MouseService& service;
  const FuseMouseFolders folders;
  fuse_session* session = nullptr;
  bool mounted = false;
  int stop = -1;  // eventfd that ends the serving loop
  std::thread loop;

  // Held by plug, unplug, open and release, so that a file is never opened
  // on a mouse that is going away. Taken before `files_mutex`.
  std::mutex transition_mutex;
  std::mutex files_mutex;
  std::map<std::uint64_t, std::shared_ptr<OpenFile>> files;
  std::uint64_t next_file = 1;
  std::condition_variable poller_stored;  // with `files_mutex`

  const std::vector<InterfaceLayout>& interfaces() const { return service.mouse().layout().interfaces; }

  // The interface index of a node's inode, while the mouse is plugged.
  std::optional<std::size_t> PresentNode(fuse_ino_t inode) const {
    if (inode < kFirstNodeInode || inode - kFirstNodeInode >= interfaces().size()) return std::nullopt;
    if (!service.mouse().plugged()) return std::nullopt;
    return inode - kFirstNodeInode;
  }

  std::shared_ptr<OpenFile> FindFile(std::uint64_t id) {
    std::lock_guard lock(files_mutex);
    const auto it = files.find(id);
    return it == files.end() ? nullptr : it->second;
  }

  // Each entry appears and vanishes whole, by a rename from or to a folder
  // beside the tree, as the kernel's do: an agent that watches the tree and
  // enumerates at once never finds an entry without its uevent file, nor one
  // that is not the mouse's.
  fs::path Staging() const {
    fs::path root = folders.sysfs.lexically_normal();
    if (!root.has_filename()) root = root.parent_path();
    return root.string() + ".staging";
  }

  // Gives why an entry could not be made (a full disk, say), empty when all
  // were: the mouse then stays plugged, with the entries it could make.
  std::string AddSysfsNodes() const {
    const DeviceLayout& layout = service.mouse().layout();
    const std::string ids = "0003:" + Hex8(layout.vendor_id) + ":" + Hex8(layout.product_id);
    std::error_code error;
    fs::create_directories(folders.sysfs, error);
    for (std::size_t i = 0; !error && i < layout.interfaces.size(); ++i) {
      const fs::path staged = Staging() / NodeName(i);
      std::error_code ignored;
      fs::remove_all(staged, ignored);
      if (!fs::create_directories(staged / "device", error) && error) break;
      std::ofstream uevent(staged / "device" / "uevent");
      uevent << "DRIVER=hid-generic\nHID_ID=" << ids << "\nHID_NAME=qx27 simulated mouse\n";
      uevent.close();
      if (!uevent) {
        error = std::make_error_code(std::errc::io_error);
        break;
      }
      fs::remove_all(folders.sysfs / NodeName(i), ignored);  // left by a server that was killed
      fs::rename(staged, folders.sysfs / NodeName(i), error);
    }
    return error ? "cannot make the sysfs entries in " + folders.sysfs.string() + ": " + error.message() : "";
  }

  void RemoveSysfsNodes() const {
    for (std::size_t i = 0; i < interfaces().size(); ++i) {
      const fs::path leaving = Staging() / NodeName(i);
      std::error_code ignored;
      fs::remove_all(leaving, ignored);
      fs::create_directories(Staging(), ignored);
      fs::rename(folders.sysfs / NodeName(i), leaving, ignored);
      fs::remove_all(leaving, ignored);
    }
  }

  // Closes the file's handle on the mouse; its delivery ends with it.
  void Disconnect(OpenFile& file) {
    const HidHandle connection = std::exchange(file.connection, kInvalidHid);
    if (connection != kInvalidHid) service.CloseConnection(connection);
    if (file.delivery.joinable()) file.delivery.join();
  }

  // What the mouse's unplugging does to a file left open: queued reports can
  // still be read, then reads fail and pollers see an error.
  void EndOpenFiles() {
    std::lock_guard lock(files_mutex);
    for (auto& [id, file] : files) {
      Disconnect(*file);
      std::lock_guard file_lock(file->mutex);
      file->gone = true;
      file->WakePoller();
    }
  }

  void Deliver(OpenFile& file, HidHandle connection) {
    std::array<std::uint8_t, 64> report{};
    for (;;) {
      const auto read = service.bus().BeginRead(connection, report);
      if (read == nullptr) return;
      const int length = read->Wait();
      if (length <= 0) return;  // the handle closed or the mouse went away
      std::lock_guard lock(file.mutex);
      if (file.input.size() == kMaxQueuedReports) file.input.pop_front();
      file.input.emplace_back(report.begin(), report.begin() + length);
      file.WakePoller();
    }
  }

  void Serve() {
    fuse_buf buffer{};
    std::array<pollfd, 2> waits{{{fuse_session_fd(session), POLLIN, 0}, {stop, POLLIN, 0}}};
    while (!fuse_session_exited(session)) {
      if (::poll(waits.data(), waits.size(), -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (waits[1].revents != 0) break;
      const int received = fuse_session_receive_buf(session, &buffer);
      if (received == -EINTR || received == -EAGAIN) continue;
      if (received <= 0) break;  // unmounted from outside
      fuse_session_process_buf(session, &buffer);
    }
    std::free(buffer.mem);
  }

  // ---- the file system ----

  static State& Of(fuse_req_t request) { return *static_cast<State*>(fuse_req_userdata(request)); }

  static struct stat NodeAttributes(fuse_ino_t inode) {
    struct stat attributes {};
    attributes.st_ino = inode;
    attributes.st_mode = S_IFREG | 0600;
    attributes.st_nlink = 1;
    attributes.st_uid = ::getuid();
    attributes.st_gid = ::getgid();
    return attributes;
  }

  static void Lookup(fuse_req_t request, fuse_ino_t parent, const char* name) {
    State& state = Of(request);
    for (std::size_t i = 0; parent == FUSE_ROOT_ID && i < state.interfaces().size(); ++i) {
      const fuse_ino_t inode = kFirstNodeInode + i;
      if (name != NodeName(i) || !state.PresentNode(inode)) continue;
      // Nothing cached: a node must vanish the moment the mouse is unplugged.
      fuse_entry_param entry{};
      entry.ino = inode;
      entry.attr = NodeAttributes(inode);
      fuse_reply_entry(request, &entry);
      return;
    }
    fuse_reply_err(request, ENOENT);
  }

  static void GetAttributes(fuse_req_t request, fuse_ino_t inode, fuse_file_info*) {
    if (inode == FUSE_ROOT_ID) {
      struct stat attributes {};
      attributes.st_ino = inode;
      attributes.st_mode = S_IFDIR | 0755;
      attributes.st_nlink = 2;
      fuse_reply_attr(request, &attributes, 0);
    } else if (Of(request).PresentNode(inode)) {
      const struct stat attributes = NodeAttributes(inode);
      fuse_reply_attr(request, &attributes, 0);
    } else {
      fuse_reply_err(request, ENOENT);
    }
  }

  static void ReadDirectory(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, fuse_file_info*) {
    State& state = Of(request);
    if (inode != FUSE_ROOT_ID) {
      fuse_reply_err(request, ENOTDIR);
      return;
    }
    std::vector<std::pair<std::string, fuse_ino_t>> entries{{".", FUSE_ROOT_ID}, {"..", FUSE_ROOT_ID}};
    for (std::size_t i = 0; i < state.interfaces().size(); ++i) {
      if (state.PresentNode(kFirstNodeInode + i)) entries.emplace_back(NodeName(i), kFirstNodeInode + i);
    }
    std::vector<char> buffer(size);
    std::size_t used = 0;
    for (auto i = static_cast<std::size_t>(std::max<off_t>(offset, 0)); i < entries.size(); ++i) {
      struct stat attributes {};
      attributes.st_ino = entries[i].second;
      attributes.st_mode = entries[i].second == FUSE_ROOT_ID ? S_IFDIR : S_IFREG;
      const std::size_t needed = fuse_add_direntry(request, buffer.data() + used, size - used, entries[i].first.c_str(),
                                                   &attributes, static_cast<off_t>(i + 1));
      if (needed > size - used) break;
      used += needed;
    }
    fuse_reply_buf(request, buffer.data(), used);
  }

  static void Open(fuse_req_t request, fuse_ino_t inode, fuse_file_info* info) {
    State& state = Of(request);
    std::unique_lock lock(state.transition_mutex);
    const auto index = state.PresentNode(inode);
    if (!index) {
      fuse_reply_err(request, ENOENT);
      return;
    }
    // The system-owned pointer collection: opening it is refused, as the
    // kernel refuses a user without access to the node.
    const auto present = state.service.PresentInterfaces();
    if (*index >= present.size() || !present[*index].can_open) {
      fuse_reply_err(request, EACCES);
      return;
    }
    const MouseService::Connection connection = state.service.OpenConnection(present[*index].pipe_name);
    if (connection.handle == kInvalidHid) {
      fuse_reply_err(request, ENODEV);
      return;
    }
    auto file = std::make_shared<OpenFile>();
    file->index = *index;
    file->name = present[*index].pipe_name;
    file->connection = connection.handle;
    if (connection.delivers_input) {
      file->delivery =
          std::thread([&state, raw = file.get(), handle = connection.handle] { state.Deliver(*raw, handle); });
    }
    std::uint64_t id = 0;
    {
      std::lock_guard files_lock(state.files_mutex);
      id = state.next_file++;
      state.files.emplace(id, file);
    }
    info->fh = id;
    info->direct_io = 1;
    info->nonseekable = 1;
    // An opener interrupted meanwhile never sends the release.
    if (fuse_reply_open(request, info) != 0) state.Forget(id);
  }

  void Forget(std::uint64_t id) {
    std::shared_ptr<OpenFile> file;
    {
      std::lock_guard lock(files_mutex);
      const auto it = files.find(id);
      if (it == files.end()) return;
      file = std::move(it->second);
      files.erase(it);
    }
    Disconnect(*file);
    std::lock_guard file_lock(file->mutex);
    if (file->poller != nullptr) fuse_pollhandle_destroy(std::exchange(file->poller, nullptr));
  }

  static void Release(fuse_req_t request, fuse_ino_t, fuse_file_info* info) {
    State& state = Of(request);
    std::lock_guard lock(state.transition_mutex);
    state.Forget(info->fh);
    fuse_reply_err(request, 0);
  }

  static void Read(fuse_req_t request, fuse_ino_t, size_t size, off_t, fuse_file_info* info) {
    const auto file = Of(request).FindFile(info->fh);
    if (file == nullptr) {
      fuse_reply_err(request, EBADF);
      return;
    }
    std::unique_lock lock(file->mutex);
    if (file->input.empty()) {
      fuse_reply_err(request, file->gone ? EIO : EAGAIN);
      return;
    }
    // As hidraw does, one read takes one whole report; what does not fit in
    // the caller's buffer is lost.
    const std::vector<std::uint8_t> report = std::move(file->input.front());
    file->input.pop_front();
    lock.unlock();
    fuse_reply_buf(request, reinterpret_cast<const char*>(report.data()), std::min(size, report.size()));
  }

  static void Poll(fuse_req_t request, fuse_ino_t, fuse_file_info* info, fuse_pollhandle* poller) {
    State& state = Of(request);  // the request is gone once answered
    const auto file = state.FindFile(info->fh);
    if (file == nullptr) {
      if (poller != nullptr) fuse_pollhandle_destroy(poller);
      fuse_reply_err(request, EBADF);
      return;
    }
    unsigned events = POLLOUT | POLLWRNORM;
    {
      std::lock_guard lock(file->mutex);
      if (poller != nullptr) {
        if (file->poller != nullptr) fuse_pollhandle_destroy(file->poller);
        file->poller = poller;
      }
      if (!file->input.empty()) events |= POLLIN | POLLRDNORM;
      if (file->gone) events |= POLLERR | POLLHUP;
    }
    fuse_reply_poll(request, events);
    if (poller != nullptr) {
      std::lock_guard lock(state.files_mutex);
      state.poller_stored.notify_all();
    }
  }

  static void Ioctl(fuse_req_t request, fuse_ino_t, unsigned command, void*, fuse_file_info* info, unsigned flags,
                    const void* in, size_t in_size, size_t out_size) {
    State& state = Of(request);
    const auto file = state.FindFile(info->fh);
    if (file == nullptr) {
      fuse_reply_err(request, EBADF);
      return;
    }
    if ((flags & FUSE_IOCTL_COMPAT) != 0) {
      fuse_reply_err(request, ENOSYS);
      return;
    }
    {
      std::lock_guard lock(file->mutex);
      if (file->gone) {
        fuse_reply_err(request, ENODEV);
        return;
      }
    }
    const InterfaceLayout& interface = state.interfaces()[file->index];
    const DeviceLayout& layout = state.service.mouse().layout();
    const std::vector<std::uint8_t> descriptor = InterfaceReportDescriptor(interface);

    if (command == HIDIOCGRDESCSIZE) {
      const int size = static_cast<int>(descriptor.size());
      fuse_reply_ioctl(request, 0, &size, sizeof size);
    } else if (command == HIDIOCGRDESC) {
      hidraw_report_descriptor answer{};
      answer.size = static_cast<std::uint32_t>(descriptor.size());
      std::copy(descriptor.begin(), descriptor.end(), answer.value);
      fuse_reply_ioctl(request, 0, &answer, std::min(out_size, sizeof answer));
    } else if (command == HIDIOCGRAWINFO) {
      hidraw_devinfo answer{};
      answer.bustype = BUS_USB;
      answer.vendor = static_cast<std::int16_t>(layout.vendor_id);
      answer.product = static_cast<std::int16_t>(layout.product_id);
      fuse_reply_ioctl(request, 0, &answer, std::min(out_size, sizeof answer));
    } else if ((IsHidrawCommand(command, 0x06) || IsHidrawCommand(command, 0x07)) && in_size > 0) {
      const bool set = _IOC_NR(command) == 0x06;
      const std::span bytes(static_cast<const std::uint8_t*>(in), in_size);
      const std::string answer =
          state.service.Handle((set ? "set " : "get ") + file->name + " " + HexBytes(bytes)).text;
      if (answer.starts_with("error absent")) {
        fuse_reply_err(request, ENODEV);
      } else if (!answer.starts_with("ok\n")) {
        // A refused or wrongly sized report: the device stalls the transfer.
        fuse_reply_err(request, EPIPE);
      } else if (set) {
        fuse_reply_ioctl(request, static_cast<int>(in_size), nullptr, 0);
      } else {
        std::string_view line(answer);
        line.remove_prefix(3);
        if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
        const auto report = ParseHexBytes(line);
        if (!report || report->size() > out_size) {
          fuse_reply_err(request, EIO);
          return;
        }
        fuse_reply_ioctl(request, static_cast<int>(report->size()), report->data(), report->size());
      }
    } else {
      fuse_reply_err(request, ENOTTY);
    }
  }
};

FuseMouse::FuseMouse(std::unique_ptr<State> state) : state_(std::move(state)) {}

FuseMouse::Started FuseMouse::Start(MouseService& service, FuseMouseFolders folders) {
  Started started;
  if (!fs::exists("/dev/fuse")) {
    started.fuse_unavailable = true;
    started.error = "this system has no /dev/fuse";
    return started;
  }
  std::error_code error;
  if (!fs::is_directory(folders.mount, error)) {
    started.error = "no folder to mount on at " + folders.mount.string();
    return started;
  }
  auto state = std::make_unique<State>(service, std::move(folders));
  static const fuse_lowlevel_ops kOperations = [] {
    fuse_lowlevel_ops operations{};
    operations.lookup = State::Lookup;
    operations.getattr = State::GetAttributes;
    operations.readdir = State::ReadDirectory;
    operations.open = State::Open;
    operations.release = State::Release;
    operations.read = State::Read;
    operations.poll = State::Poll;
    operations.ioctl = State::Ioctl;
    return operations;
  }();
  char program[] = "qx27fusemouse";
  char* argv[] = {program, nullptr};
  fuse_args args = FUSE_ARGS_INIT(1, argv);
  state->session = fuse_session_new(&args, &kOperations, sizeof kOperations, state.get());
  fuse_opt_free_args(&args);
  if (state->session == nullptr) {
    started.error = "fuse_session_new failed";
    return started;
  }
  state->stop = ::eventfd(0, EFD_CLOEXEC);
  if (state->stop < 0) {
    started.error = std::string("eventfd: ") + std::strerror(errno);
  } else if (fuse_session_mount(state->session, state->folders.mount.c_str()) != 0) {
    started.fuse_unavailable = true;
    started.error = "mounting FUSE on " + state->folders.mount.string() + " was refused";
  } else {
    state->mounted = true;
    if (service.mouse().plugged()) started.error = state->AddSysfsNodes();
    State* serving = state.get();
    state->loop = std::thread([serving] { serving->Serve(); });
    started.mouse.reset(new FuseMouse(std::move(state)));
    return started;
  }
  // The state's teardown below releases what was made.
  started.mouse.reset(new FuseMouse(std::move(state)));
  started.mouse.reset();
  return started;
}

FuseMouse::~FuseMouse() {
  State& state = *state_;
  if (state.loop.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(state.stop, &one, sizeof one);
    state.loop.join();
  }
  {
    std::lock_guard lock(state.transition_mutex);
    std::vector<std::uint64_t> ids;
    {
      std::lock_guard files_lock(state.files_mutex);
      for (const auto& [id, file] : state.files) ids.push_back(id);
    }
    for (const std::uint64_t id : ids) state.Forget(id);
  }
  if (state.mounted) fuse_session_unmount(state.session);
  // Closing the session's descriptor ends the connection: calls still made on
  // files left open fail instead of waiting for a server that is gone.
  if (state.session != nullptr) fuse_session_destroy(state.session);
  if (state.stop >= 0) ::close(state.stop);
  if (state.mounted) state.RemoveSysfsNodes();
}

bool FuseMouse::WaitForWaitingPoller(std::chrono::milliseconds timeout) {
  State& state = *state_;
  std::unique_lock lock(state.files_mutex);
  return state.poller_stored.wait_for(lock, timeout, [&] {
    return std::any_of(state.files.begin(), state.files.end(), [](const auto& entry) {
      std::lock_guard file_lock(entry.second->mutex);
      return entry.second->poller != nullptr;
    });
  });
}

MouseService::Answer FuseMouse::Handle(std::string_view request) {
  State& state = *state_;
  if (!request.starts_with("plug") && !request.starts_with("unplug")) return state.service.Handle(request);
  std::lock_guard lock(state.transition_mutex);
  MouseService::Answer answer = state.service.Handle(request);
  if (answer.event == MouseService::Event::kUnplugged) {
    state.RemoveSysfsNodes();
    state.EndOpenFiles();
  } else if (answer.event == MouseService::Event::kPlugged) {
    const std::string error = state.AddSysfsNodes();
    if (!error.empty()) answer.text = "error sysfs " + error + "\n";
  }
  return answer;
}

}  // namespace qx27::sim
