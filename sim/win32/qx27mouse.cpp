// qx27mouse: the simulated mouse as a process of its own, for running the
// unchanged qx27agent.exe under Wine against it. Each interface of the mouse
// is a named pipe whose path the stand-in device-setup library lists, so the
// agent's own CreateFileW opens it and its overlapped ReadFile on the events
// interface receives input reports. Everything else (capabilities,
// attributes, feature reports) travels from the stand-in HID library, and the
// commands of qx27ctl, over the control pipe. Plugging and unplugging tell the
// agent's window with WM_DEVICECHANGE, as the system tells windows registered
// for HID interface notifications.
//
// usage: qx27mouse [--unplugged] [--second-identity]
//   --second-identity: vendor ID 0x1B80 and product ID 0xB412 instead of
//   0x3938 and 0x1101, the pair the presence check asks about
#include <windows.h>
#include <dbt.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/mouse_service.h"
#include "sim/win32/mouse_pipe.h"

namespace {

using qx27::sim::MouseService;
using qx27::simmouse::kNotifyTimeoutMs;
using qx27::simmouse::Widen;

// The window the system would tell: the agent registers its window for HID
// interface notifications, and this is how the harness finds it.
constexpr wchar_t kAgentTitle[] = L"VORN ELDAN QX27_Hid";
constexpr DWORD kPipeBuffer = 65536;

void Log(const char* format, const char* text) {
  std::fprintf(stderr, format, text);
  std::fflush(stderr);
}

struct OwnedHandle {
  HANDLE value = nullptr;
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : value(handle) {}
  ~OwnedHandle() { reset(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  void reset(HANDLE handle = nullptr) {
    if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
    value = handle;
  }
  HANDLE release() {
    HANDLE handle = value;
    value = nullptr;
    return handle;
  }
};

// Waits for an overlapped transfer started on `pipe`; gives its error (0 on
// success). `stop` ends the wait early and cancels the transfer.
DWORD Finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, HANDLE stop, DWORD& bytes) {
  bytes = 0;
  const DWORD error = started ? 0 : GetLastError();
  if (error == ERROR_IO_PENDING) {
    HANDLE waits[] = {overlapped.hEvent, stop};
    const DWORD count = stop != nullptr ? 2 : 1;
    if (WaitForMultipleObjects(count, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIoEx(pipe, &overlapped);
      GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
      return ERROR_OPERATION_ABORTED;
    }
  } else if (error != 0 && error != ERROR_MORE_DATA) {
    return error;
  }
  // A read that ends at once with ERROR_MORE_DATA has read a piece too; its
  // byte count is only in the result.
  if (!GetOverlappedResult(pipe, &overlapped, &bytes, FALSE)) return GetLastError();
  return 0;
}

// Keeps two instances of one pipe waiting for clients, so that a client never
// finds every instance busy, and hands each connected instance over.
class PipeListener {
 public:
  PipeListener(std::wstring path, std::function<void(HANDLE)> on_connect)
      : path_(std::move(path)), on_connect_(std::move(on_connect)), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    for (auto& slot : slots_) {
      slot.event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
      Arm(slot);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~PipeListener() {
    SetEvent(stop_.value);
    thread_.join();
    for (auto& slot : slots_) {
      if (slot.pipe.value != nullptr) {
        CancelIoEx(slot.pipe.value, &slot.overlapped);
        DWORD bytes = 0;
        GetOverlappedResult(slot.pipe.value, &slot.overlapped, &bytes, TRUE);
      }
    }
  }
  PipeListener(const PipeListener&) = delete;
  PipeListener& operator=(const PipeListener&) = delete;

 private:
  struct Slot {
    OwnedHandle pipe;
    OwnedHandle event;
    OVERLAPPED overlapped{};
  };

  void Arm(Slot& slot) {
    slot.pipe.reset(CreateNamedPipeW(path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                     kPipeBuffer, kPipeBuffer, 0, nullptr));
    if (slot.pipe.value == INVALID_HANDLE_VALUE) {
      slot.pipe.value = nullptr;
      Log("qx27mouse: cannot create pipe %s\n", qx27::simmouse::Narrow(path_).c_str());
      return;
    }
    ResetEvent(slot.event.value);
    slot.overlapped = {};
    slot.overlapped.hEvent = slot.event.value;
    if (ConnectNamedPipe(slot.pipe.value, &slot.overlapped)) {
      SetEvent(slot.event.value);
    } else if (GetLastError() == ERROR_PIPE_CONNECTED) {
      // The client came between creation and the wait.
      SetEvent(slot.event.value);
    } else if (GetLastError() != ERROR_IO_PENDING) {
      // Typically ERROR_NO_DATA: a client came and went between creation and
      // the wait. The slot is armed afresh rather than left dead, which would
      // leave clients finding every instance busy.
      slot.pipe.reset();
      SetEvent(slot.event.value);
    }
  }

  void Run() {
    for (;;) {
      HANDLE waits[3] = {stop_.value, slots_[0].event.value, slots_[1].event.value};
      const DWORD which = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
      if (which == WAIT_OBJECT_0 || which >= WAIT_OBJECT_0 + 3) return;
      Slot& slot = slots_[which - WAIT_OBJECT_0 - 1];
      if (slot.pipe.value != nullptr) on_connect_(slot.pipe.release());
      Arm(slot);
      if (slot.pipe.value == nullptr) Sleep(10);  // keep trying without spinning
    }
  }

  std::wstring path_;
  std::function<void(HANDLE)> on_connect_;
  OwnedHandle stop_;
  std::array<Slot, 2> slots_;
  std::thread thread_;
};

// A client's handle on one interface. It lives until the client closes the
// handle or the mouse is unplugged; on the events interface it hands the
// mouse's input reports to the client as pipe messages.
class InterfaceConnection {
 public:
  InterfaceConnection(MouseService& service, HANDLE pipe, MouseService::Connection connection)
      : service_(service), pipe_(pipe), connection_(connection), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~InterfaceConnection() {
    Stop();
    thread_.join();
  }
  InterfaceConnection(const InterfaceConnection&) = delete;
  InterfaceConnection& operator=(const InterfaceConnection&) = delete;

  void Stop() { SetEvent(stop_.value); }
  bool done() const { return done_; }

 private:
  void Run() {
    std::thread delivery;
    if (connection_.delivers_input) delivery = std::thread([this] { Deliver(); });

    // The client never writes; this read ends when the client closes its
    // handle (CloseHandle in the agent), which is how the mouse learns of it.
    OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    for (;;) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = event.value;
      ResetEvent(event.value);
      char byte = 0;
      DWORD bytes = 0;
      const DWORD error =
          Finish(pipe_.value, overlapped, ReadFile(pipe_.value, &byte, 1, nullptr, &overlapped), stop_.value, bytes);
      if (error != 0 && error != ERROR_MORE_DATA) break;
    }
    // Closing the mouse's handle ends a read pending on it; disconnecting the
    // pipe makes every later operation on the client's handle fail, as on a
    // device that is gone.
    service_.CloseConnection(connection_.handle);
    DisconnectNamedPipe(pipe_.value);
    if (delivery.joinable()) delivery.join();
    pipe_.reset();
    done_ = true;
  }

  void Deliver() {
    OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::array<std::uint8_t, 64> report{};
    for (;;) {
      auto read = service_.bus().BeginRead(connection_.handle, report);
      if (read == nullptr) return;
      const int length = read->Wait();
      if (length <= 0) return;
      OVERLAPPED overlapped{};
      overlapped.hEvent = event.value;
      ResetEvent(event.value);
      DWORD bytes = 0;
      const DWORD error = Finish(
          pipe_.value, overlapped,
          WriteFile(pipe_.value, report.data(), static_cast<DWORD>(length), nullptr, &overlapped), nullptr, bytes);
      // The client closed its handle after this report was taken from the
      // handle's queue: it is lost with the handle, as the system loses it.
      if (error != 0) return;
    }
  }

  MouseService& service_;
  OwnedHandle pipe_;
  MouseService::Connection connection_;
  OwnedHandle stop_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class MouseServer {
 public:
  explicit MouseServer(const MouseService::StartOptions& options) : service_(options) {}

  void Start() {
    std::lock_guard lock(transition_mutex_);
    if (!service_.PresentInterfaces().empty()) OpenInterfaces();
    control_ = std::make_unique<PipeListener>(
        Widen(std::string(qx27::sim::kPipeNamespace) + std::string(qx27::sim::kControlPipeName)),
        [this](HANDLE pipe) { StartControlSession(pipe); });
  }

  void WaitForQuit() { WaitForSingleObject(quit_.value, INFINITE); }

 private:
  void OpenInterfaces() {
    interfaces_ = service_.PresentInterfaces();
    for (const auto& interface : interfaces_) {
      // The system's own pointer collection is listed but has no pipe: opening
      // it fails, as the system keeps it to itself.
      if (!interface.can_open) continue;
      const std::string name = interface.pipe_name;
      listeners_.push_back(std::make_unique<PipeListener>(Widen(std::string(qx27::sim::kPipeNamespace) + name),
                                                          [this, name](HANDLE pipe) { Accept(name, pipe); }));
    }
  }

  void CloseInterfaces() {
    listeners_.clear();
    std::vector<std::unique_ptr<InterfaceConnection>> closing;
    {
      std::lock_guard lock(connections_mutex_);
      closing.swap(connections_);
    }
    for (auto& connection : closing) connection->Stop();
    closing.clear();  // joins each
  }

  void Accept(const std::string& name, HANDLE pipe) {
    const MouseService::Connection connection = service_.OpenConnection(name);
    if (connection.handle == qx27::kInvalidHid) {
      DisconnectNamedPipe(pipe);
      CloseHandle(pipe);
      return;
    }
    std::lock_guard lock(connections_mutex_);
    std::erase_if(connections_, [](const auto& existing) { return existing->done(); });
    connections_.push_back(std::make_unique<InterfaceConnection>(service_, pipe, connection));
  }

  // Every session's thread is joined, never detached: winpthreads frees a
  // thread's record when the detach comes after the thread's function has
  // returned but before the thread has ended, and a thread started meanwhile
  // gets that record while the ending thread still writes to it. Seen here as
  // a join failing with "No such process" during an unplug, and as a new thread
  // starting with a null argument. Finished sessions are joined at the next
  // connection, so the list stays as short as the clients of the moment.
  void StartControlSession(HANDLE pipe) {
    std::lock_guard lock(sessions_mutex_);
    std::erase_if(sessions_, [](const auto& session) { return session->done.load(); });
    auto session = std::make_unique<ControlSession>();
    ControlSession* started = session.get();
    started->thread = std::thread([this, pipe, started] {
      ServeControl(pipe);
      started->done = true;
    });
    sessions_.push_back(std::move(session));
  }

  // Sends WM_DEVICECHANGE the way the system does for a device interface:
  // synchronously, with the broadcast record in lParam, one message per
  // interface. Gives how many windows took them.
  int Notify(WPARAM event) {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM found) -> BOOL {
          wchar_t title[64] = {};
          GetWindowTextW(window, title, 64);
          if (std::wcscmp(title, kAgentTitle) == 0) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    int told = 0;
    for (HWND window : windows) {
      bool took_all = true;
      for (const auto& interface : interfaces_) {
        const std::wstring path = Widen(std::string(qx27::sim::kPipeNamespace) + interface.pipe_name);
        std::vector<std::uint8_t> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                         (path.size() + 1) * sizeof(wchar_t));
        auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
        broadcast->dbcc_size = static_cast<DWORD>(record.size());
        broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        broadcast->dbcc_classguid = kHidGuid;
        std::memcpy(broadcast->dbcc_name, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()),
                                 SMTO_ABORTIFHUNG, kNotifyTimeoutMs, &result)) {
          took_all = false;
        }
      }
      if (took_all) ++told;
    }
    return told;
  }

  void ServeControl(HANDLE raw) {
    OwnedHandle pipe(raw);
    OwnedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::string request;
    char chunk[16384];
    for (;;) {
      // One request is one message, read in pieces while there is more.
      request.clear();
      DWORD error = 0;
      do {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.value;
        ResetEvent(event.value);
        DWORD bytes = 0;
        error = Finish(pipe.value, overlapped, ReadFile(pipe.value, chunk, sizeof(chunk), nullptr, &overlapped),
                       nullptr, bytes);
        request.append(chunk, bytes);
      } while (error == ERROR_MORE_DATA);
      if (error != 0) break;

      MouseService::Answer answer = Answer(request);
      OVERLAPPED overlapped{};
      overlapped.hEvent = event.value;
      ResetEvent(event.value);
      DWORD bytes = 0;
      error = Finish(
          pipe.value, overlapped,
          WriteFile(pipe.value, answer.text.data(), static_cast<DWORD>(answer.text.size()), nullptr, &overlapped),
          nullptr, bytes);
      if (answer.event == MouseService::Event::kQuit) {
        FlushFileBuffers(pipe.value);
        SetEvent(quit_.value);
        break;
      }
      if (error != 0) break;
    }
    DisconnectNamedPipe(pipe.value);
  }

  MouseService::Answer Answer(const std::string& request) {
    const bool transition = request.starts_with("plug") || request.starts_with("unplug");
    if (!transition) return service_.Handle(request);
    // One plug or unplug at a time, and the pipes follow before the answer.
    std::lock_guard lock(transition_mutex_);
    MouseService::Answer answer = service_.Handle(request);
    if (answer.event == MouseService::Event::kUnplugged) {
      CloseInterfaces();
      answer.text += "notified " + std::to_string(Notify(DBT_DEVICEREMOVECOMPLETE)) + "\n";
      interfaces_.clear();
    } else if (answer.event == MouseService::Event::kPlugged) {
      OpenInterfaces();
      answer.text += "notified " + std::to_string(Notify(DBT_DEVICEARRIVAL)) + "\n";
    }
    return answer;
  }

  static constexpr GUID kHidGuid = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

  MouseService service_;
  std::mutex transition_mutex_;
  std::vector<MouseService::Interface> interfaces_;
  std::vector<std::unique_ptr<PipeListener>> listeners_;
  std::mutex connections_mutex_;
  std::vector<std::unique_ptr<InterfaceConnection>> connections_;
  struct ControlSession {
    std::thread thread;
    std::atomic<bool> done{false};
    ~ControlSession() {
      if (thread.joinable()) thread.join();
    }
  };

  std::mutex sessions_mutex_;
  std::vector<std::unique_ptr<ControlSession>> sessions_;
  std::unique_ptr<PipeListener> control_;
  OwnedHandle quit_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace

int main(int argc, char** argv) {
  MouseService::StartOptions options;
  if (MouseService::ParseStartOptions({argv + 1, argv + argc}, options) != nullptr) {
    std::fputs("usage: qx27mouse [--unplugged] [--second-identity]\n", stderr);
    return 2;
  }
  // Clients wait for a plug or unplug as long as one notification per
  // interface may take; a mouse with more interfaces would outlast them.
  if (qx27::sim::MouseLayout().interfaces.size() > qx27::simmouse::kMaxInterfaces) {
    std::fputs("qx27mouse: more interfaces than clients wait for\n", stderr);
    return 1;
  }
  // Never destroyed: threads serving pipes may still be running when the quit
  // request has been answered, and the process ends with them.
  auto* server = new MouseServer(options);
  server->Start();
  std::fputs(options.plugged ? "qx27mouse: serving, plugged\n" : "qx27mouse: serving, unplugged\n", stderr);
  std::fflush(stderr);
  server->WaitForQuit();
  std::fputs("qx27mouse: quit\n", stderr);
  std::fflush(stderr);
  ExitProcess(0);
}
