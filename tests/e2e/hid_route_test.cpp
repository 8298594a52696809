// The harness's route from the agent to the simulated mouse, proved with the
// production Win32 HID port and the raw system calls the agent makes: the
// stand-in setupapi.dll lists the mouse's pipes with the system's contract,
// the agent's own CreateFileW and overlapped ReadFile reach them, the stand-in
// hid.dll answers for them, and plugging tells a registered window as the
// system does. Runs from the harness folder, beside the stand-ins, with Wine
// told to prefer them; it starts and ends its own qx27mouse.exe.
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/hid_port.h"
#include "sim/win32/mouse_pipe.h"

namespace {

using qx27::HidCaps;
using qx27::HidHandle;
using qx27::kInvalidHid;
using qx27::simmouse::AskMouse;
using qx27::simmouse::AskResult;

constexpr GUID kHidGuid = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

std::string Ask(const std::string& request) {
  std::string answer;
  if (AskMouse(request, answer) != AskResult::kAnswered) return "no answer";
  return answer;
}

std::wstring MousePath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  path = path.substr(0, path.find_last_of(L'\\'));  // ...\harness
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"bin\\qx27mouse.exe";
}

bool WaitUntil(DWORD milliseconds, const auto& condition) {
  for (DWORD waited = 0;; waited += 20) {
    if (condition()) return true;
    if (waited >= milliseconds) return false;
    Sleep(20);
  }
}

int OpenHandlesOnMouse() {
  const std::string status = Ask("status");
  const std::size_t at = status.find("handles ");
  return at == std::string::npos ? -1 : std::atoi(status.c_str() + at + 8);
}

// A raw overlapped read, as the agent's reader issues it. The system writes
// into its record and buffer until the read ends, so both live on the heap and
// go only once the read has ended, whichever way the test ends: an assertion
// that returns early leaves nothing behind for the system to write into.
class RawRead {
 public:
  explicit RawRead(HANDLE file) : file_(file), state_(std::make_unique<State>()) {
    state_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state_->overlapped.hEvent = state_->event;
    started_ = ReadFile(file, state_->buffer, sizeof(state_->buffer), nullptr, &state_->overlapped) != FALSE;
    error_ = started_ ? ERROR_SUCCESS : GetLastError();
  }
  ~RawRead() {
    if (error_ != ERROR_IO_PENDING) {
      CloseHandle(state_->event);
      return;
    }
    CancelIoEx(file_, &state_->overlapped);  // fails harmlessly once the handle is closed
    if (WaitForSingleObject(state_->event, 30000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "a read outlived its cancellation; its record is kept, not freed";
      state_.release();
      return;
    }
    CloseHandle(state_->event);
  }
  RawRead(const RawRead&) = delete;
  RawRead& operator=(const RawRead&) = delete;

  bool started() const { return started_; }
  DWORD error() const { return error_; }
  HANDLE event() const { return state_->event; }
  OVERLAPPED* overlapped() { return &state_->overlapped; }
  std::vector<std::uint8_t> bytes() const { return {state_->buffer, state_->buffer + sizeof(state_->buffer)}; }

 private:
  struct State {
    HANDLE event = nullptr;
    OVERLAPPED overlapped{};
    std::uint8_t buffer[4] = {};
  };
  HANDLE file_;
  std::unique_ptr<State> state_;
  bool started_ = false;
  DWORD error_ = ERROR_SUCCESS;
};

// A qx27mouse.exe of this test's own, ended with "quit" (or killed) at the end.
class MouseProcess {
 public:
  explicit MouseProcess(bool plugged = true) {
    std::string ignored;
    // A mouse left over by an earlier run would answer in this one's place.
    if (AskMouse("quit", ignored, 2000) == AskResult::kAnswered) Sleep(300);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring command = L"\"" + MousePath() + L"\"" + (plugged ? L"" : L" --unplugged");
    started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info_) != FALSE;
    if (!started_) return;
    CloseHandle(info_.hThread);
    serving_ = WaitUntil(20000, [] {
      std::string answer;
      return AskMouse("status", answer, 1000) == AskResult::kAnswered;
    });
  }
  ~MouseProcess() {
    if (!started_) return;
    std::string ignored;
    AskMouse("quit", ignored, 5000);
    if (WaitForSingleObject(info_.hProcess, 10000) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hProcess);
  }
  bool serving() const { return serving_; }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
  bool serving_ = false;
};

class HidRoute : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(mouse_.serving()) << "qx27mouse.exe did not come up"; }

  // The agent's search: every interface that opens, with its capabilities.
  struct Found {
    std::u16string path;
    HidHandle handle;
    HidCaps caps;
  };
  std::vector<Found> OpenAll() {
    std::vector<Found> found;
    for (const auto& path : port_.EnumerateInterfaces()) {
      const HidHandle handle = port_.Open(path);
      if (handle == kInvalidHid) continue;
      HidCaps caps;
      EXPECT_TRUE(port_.GetCaps(handle, caps));
      found.push_back({path, handle, caps});
    }
    return found;
  }
  HidHandle OpenByLengths(int feature_length, int input_length) {
    HidHandle chosen = kInvalidHid;
    for (const auto& interface : OpenAll()) {
      if (chosen == kInvalidHid && interface.caps.feature_report_length == feature_length &&
          interface.caps.input_report_length == input_length) {
        chosen = interface.handle;
      } else {
        port_.Close(interface.handle);
      }
    }
    return chosen;
  }

  MouseProcess mouse_;
  qx27::win32::Win32HidPort port_;
};

TEST_F(HidRoute, SetupApiListsTheFivePresentInterfacesWithTheSystemsSizeQueryAndEnd) {
  HDEVINFO set = SetupDiGetClassDevsW(&kHidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  DWORD index = 0;
  for (;; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kHidGuid, index, &data)) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
      break;
    }
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(required, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));

    std::vector<std::uint8_t> storage(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required - 2, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
    const std::wstring path(detail->DevicePath);
    EXPECT_EQ(path.rfind(L"\\\\.\\pipe\\qx27mouse.", 0), 0u);
    EXPECT_NE(path.find(L"vid_3938&pid_1101"), std::wstring::npos);
    EXPECT_EQ(required, offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(wchar_t));
  }
  EXPECT_EQ(index, 5u);
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(HidRoute, SetupApiRefusesABadSetAndABadRecordSize) {
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(data);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(INVALID_HANDLE_VALUE, nullptr, &kHidGuid, 0, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HDEVINFO set = SetupDiGetClassDevsW(&kHidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  data.cbSize = 3;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kHidGuid, 0, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(HidRoute, TheAgentsSearchOpensFourInterfacesThatTellThemselvesApartByLength) {
  const auto found = OpenAll();
  ASSERT_EQ(port_.EnumerateInterfaces().size(), 5u);
  ASSERT_EQ(found.size(), 4u) << "the system pointer collection must not open";
  std::vector<std::pair<int, int>> lengths;
  for (const auto& interface : found) {
    lengths.emplace_back(interface.caps.input_report_length, interface.caps.feature_report_length);
    qx27::HidAttributes attributes;
    EXPECT_TRUE(port_.GetAttributes(interface.handle, attributes));
    EXPECT_EQ(attributes.vendor_id, 0x3938);
    EXPECT_EQ(attributes.product_id, 0x1101);
  }
  EXPECT_EQ(lengths, (std::vector<std::pair<int, int>>{{0, 40}, {0, 2049}, {0, 8}, {4, 0}}));
  // The mouse counts a handle once its listener thread has taken the
  // connection, which may come after the client's open has returned.
  EXPECT_TRUE(WaitUntil(5000, [] { return OpenHandlesOnMouse() == 4; })) << "opened handles must reach the mouse";
  for (const auto& interface : found) port_.Close(interface.handle);
  EXPECT_TRUE(WaitUntil(5000, [] { return OpenHandlesOnMouse() == 0; })) << "closed handles must reach the mouse";
}

TEST_F(HidRoute, FeatureReportsSetAndGotThroughTheHidLibraryReachTheMouse) {
  const HidHandle command = OpenByLengths(8, 0);
  ASSERT_NE(command, kInvalidHid);
  const std::uint8_t report[8] = {0x06, 0x5A, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(port_.SetFeature(command, report));
  EXPECT_EQ(Ask("report 6"), "ok\n06 5a 00 00 00 00 00 00\n");
  const std::uint8_t too_long[9] = {0x06, 0x5A};
  EXPECT_FALSE(port_.SetFeature(command, too_long));
  port_.Close(command);

  std::string perf = "perf 03";
  for (int i = 1; i < 40; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof(byte), " %02x", i);
    perf += byte;
  }
  ASSERT_EQ(Ask("load\n" + perf + "\n"), "ok\n");
  const HidHandle performance = OpenByLengths(40, 0);
  ASSERT_NE(performance, kInvalidHid);
  std::uint8_t got[40] = {0x03};
  ASSERT_TRUE(port_.GetFeature(performance, got));
  for (int i = 1; i < 40; ++i) EXPECT_EQ(got[i], i);
  port_.Close(performance);
}

TEST_F(HidRoute, AnAnswerLongerThanOnePieceOfThePipeArrivesWhole) {
  const HidHandle buttons = OpenByLengths(2049, 0);
  ASSERT_NE(buttons, kInvalidHid);
  std::vector<std::uint8_t> report(2049, 0xAB);
  report[0] = 0x04;
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(port_.SetFeature(buttons, report));
  port_.Close(buttons);
  // Eight 2049-byte reports logged as text are about 49 KB: four 16 KB pieces
  // of the pipe, all but the first there at once.
  std::string line = "\nset accepted 04";
  for (int i = 1; i < 2049; ++i) line += " ab";
  line += "\n";
  const std::string log = Ask("log");
  int whole_lines = 0;
  for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++whole_lines;
  EXPECT_EQ(whole_lines, 8);
}

TEST_F(HidRoute, AnOverlappedReadOnTheEventsInterfaceIsPendingUntilTheMouseSendsAReport) {
  const HidHandle events = OpenByLengths(0, 4);
  ASSERT_NE(events, kInvalidHid);
  HANDLE file = reinterpret_cast<HANDLE>(events);
  RawRead read(file);
  EXPECT_FALSE(read.started());
  EXPECT_EQ(read.error(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_EQ(WaitForSingleObject(read.event(), 300), static_cast<DWORD>(WAIT_TIMEOUT));

  EXPECT_EQ(Ask("dpi 3"), "ok\n");
  ASSERT_EQ(WaitForSingleObject(read.event(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD bytes = 0;
  EXPECT_TRUE(GetOverlappedResult(file, read.overlapped(), &bytes, FALSE));
  EXPECT_EQ(bytes, 4u);
  EXPECT_EQ(read.bytes(), (std::vector<std::uint8_t>{0x02, 0x00, 0x03, 0x00}));
  port_.Close(events);
}

TEST_F(HidRoute, ClosingTheHandleEndsAReadPendingOnItWithNoBytes) {
  const HidHandle events = OpenByLengths(0, 4);
  ASSERT_NE(events, kInvalidHid);
  std::uint8_t buffer[4] = {};
  auto read = port_.BeginRead(events, buffer);
  ASSERT_NE(read, nullptr);
  std::thread closer([&] {
    Sleep(200);
    port_.Close(events);
  });
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(read->Wait(), 0);
  EXPECT_LT(GetTickCount64() - start, 5000u);
  closer.join();
  EXPECT_TRUE(WaitUntil(5000, [] { return OpenHandlesOnMouse() == 0; }));
}

TEST_F(HidRoute, CloseHandleAloneEndsAReadPendingOnIt) {
  const HidHandle events = OpenByLengths(0, 4);
  ASSERT_NE(events, kInvalidHid);
  RawRead read(reinterpret_cast<HANDLE>(events));
  ASSERT_EQ(read.error(), static_cast<DWORD>(ERROR_IO_PENDING));
  CloseHandle(reinterpret_cast<HANDLE>(events));
  EXPECT_EQ(WaitForSingleObject(read.event(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_NE(read.overlapped()->Internal, static_cast<ULONG_PTR>(STATUS_PENDING));
}

TEST_F(HidRoute, UnpluggingEndsAPendingReadAndLeavesTheOldHandleDeadAfterThePlug) {
  const HidHandle events = OpenByLengths(0, 4);
  const HidHandle command = OpenByLengths(8, 0);
  ASSERT_NE(events, kInvalidHid);
  ASSERT_NE(command, kInvalidHid);
  std::uint8_t buffer[4] = {};
  auto read = port_.BeginRead(events, buffer);
  ASSERT_NE(read, nullptr);

  EXPECT_EQ(Ask("unplug").rfind("ok\n", 0), 0u);
  EXPECT_EQ(read->Wait(), 0);
  EXPECT_TRUE(port_.EnumerateInterfaces().empty());
  const std::uint8_t report[8] = {0x06, 0x5A};
  EXPECT_FALSE(port_.SetFeature(command, report));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(port_.BeginRead(events, buffer), nullptr) << "a read on a gone device fails at once";

  EXPECT_EQ(Ask("plug").rfind("ok\n", 0), 0u);
  HidCaps caps;
  EXPECT_FALSE(port_.GetCaps(command, caps));
  EXPECT_FALSE(port_.SetFeature(command, report));
  EXPECT_EQ(port_.EnumerateInterfaces().size(), 5u);
  const HidHandle fresh = OpenByLengths(8, 0);
  EXPECT_NE(fresh, kInvalidHid);
  EXPECT_TRUE(port_.SetFeature(fresh, std::span<const std::uint8_t>(report, 8)));
  port_.Close(fresh);
  port_.Close(command);
  port_.Close(events);
}

TEST_F(HidRoute, HidPGetCapsRefusesABlockItDidNotHandOut) {
  struct {
    char bytes[64] = {};
  } garbage;
  HIDP_CAPS caps{};
  EXPECT_EQ(HidP_GetCaps(reinterpret_cast<PHIDP_PREPARSED_DATA>(&garbage), &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
  GUID guid{};
  HidD_GetHidGuid(&guid);
  EXPECT_EQ(std::memcmp(&guid, &kHidGuid, sizeof(GUID)), 0);
}

// A window with the agent's title, as the agent registers it for HID
// interface notifications; it records what WM_DEVICECHANGE brings.
struct Notification {
  WPARAM event;
  GUID class_guid;
  std::wstring name;
};
std::vector<Notification> notifications;

LRESULT CALLBACK RecordDeviceChange(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DEVICECHANGE) {
    Notification notification{wparam, {}, {}};
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lparam);
    if (header != nullptr && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
      const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lparam);
      notification.class_guid = broadcast->dbcc_classguid;
      notification.name = broadcast->dbcc_name;
    }
    notifications.push_back(notification);
    return TRUE;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Asks on another thread while this one pumps messages: the mouse answers a
// plug or unplug only once the window has taken its notifications.
std::string AskWhilePumping(const std::string& request) {
  std::string answer;
  std::atomic<bool> done{false};
  std::thread asker([&] {
    answer = Ask(request);
    done = true;
  });
  // Bounded by the mouse's own ask timeout; the loop only keeps the window alive.
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  asker.join();
  return answer;
}

TEST_F(HidRoute, PlugAndUnplugSendTheRegisteredWindowTheSystemsDeviceInterfaceNotifications) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = RecordDeviceChange;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"qx27.route.test";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"VORN ELDAN QX27_Hid", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, window_class.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  const auto before = port_.EnumerateInterfaces();
  notifications.clear();

  EXPECT_EQ(AskWhilePumping("unplug"), "ok\nnotified 1\n");
  ASSERT_EQ(notifications.size(), 5u);
  for (std::size_t i = 0; i < notifications.size(); ++i) {
    EXPECT_EQ(notifications[i].event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(std::memcmp(&notifications[i].class_guid, &kHidGuid, sizeof(GUID)), 0);
    EXPECT_EQ(std::u16string(notifications[i].name.begin(), notifications[i].name.end()), before[i]);
  }

  notifications.clear();
  EXPECT_EQ(AskWhilePumping("plug"), "ok\nnotified 1\n");
  const auto after = port_.EnumerateInterfaces();
  ASSERT_EQ(notifications.size(), 5u);
  for (std::size_t i = 0; i < notifications.size(); ++i) {
    EXPECT_EQ(notifications[i].event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(std::u16string(notifications[i].name.begin(), notifications[i].name.end()), after[i]);
  }
  DestroyWindow(window);
}

TEST(HidRouteWithoutMouse, NoMouseProcessMeansNoHidInterface) {
  std::string ignored;
  if (AskMouse("quit", ignored, 2000) == AskResult::kAnswered) Sleep(300);
  qx27::win32::Win32HidPort port;
  EXPECT_TRUE(port.EnumerateInterfaces().empty());
}

TEST(HidRouteUnplugged, AMouseStartedUnpluggedListsNothingUntilPlugged) {
  MouseProcess mouse(false);
  ASSERT_TRUE(mouse.serving());
  qx27::win32::Win32HidPort port;
  EXPECT_TRUE(port.EnumerateInterfaces().empty());
  EXPECT_EQ(Ask("plug"), "ok\nnotified 0\n");
  EXPECT_EQ(port.EnumerateInterfaces().size(), 5u);
}

}  // namespace
