// qx27testctl: a stand-in for the companion UI, for scripts and for the
// companion UI's developers; tools/harness ctl runs it. It prints itself as
// qx27ctl, the name its scripts have always known it by. It posts the
// messages the companion UI and the system post to the agent, listens as the
// companion UI's window, and shows the agent's debugger output. Its mouse
// commands drive the simulated mouse (qx27mouse) of the harness. Its commands
// and output formats are kept stable.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/mouse_service.h"
#include "sim/win32/mouse_pipe.h"

namespace {

constexpr wchar_t kAgentTitle[] = L"VORN ELDAN QX27_Hid";
constexpr wchar_t kCompanionTitle[] = L"VORN ELDAN QX27";
constexpr wchar_t kOsdTitle[] = L"OSDMain";

// Signalled by "stop-listening": every listen and debug of this session ends
// early, so a script need not sit out the whole duration it asked for.
constexpr wchar_t kStopEvent[] = L"qx27ctl.stop-listening";

HANDLE StopEvent() { return CreateEventW(nullptr, TRUE, FALSE, kStopEvent); }

int StopListening() {
  HANDLE stop = StopEvent();
  if (stop == nullptr) return 1;
  // Held long enough for every waiter to see it, then cleared for the next.
  SetEvent(stop);
  Sleep(300);
  ResetEvent(stop);
  CloseHandle(stop);
  return 0;
}

// Set while the OSD window is ours to print for; cleared before we destroy it
// ourselves, so only what other programs send it is shown.
bool g_osd_listening = false;

int Usage() {
  std::fputs(
      "usage: qx27ctl COMMAND [ARG]\n"
      "  apply | command | close          post 0x04FF, 0x0501, WM_CLOSE to the agent\n"
      "  session CODE | devicechange      post WM_WTSSESSION_CHANGE, WM_DEVICECHANGE\n"
      "  timer ID | tray LPARAM | menu ID post WM_TIMER, the tray callback 0x0465, WM_COMMAND\n"
      "  wait MS                          wait up to MS ms for the agent's window and the end of\n"
      "                                   its start-up\n"
      "  listen MS [--osd]                be the companion UI's window for MS ms; print messages\n"
      "                                   --osd: own an \"OSDMain\" window too; its lines\n"
      "                                   start with \"OSDMain \"\n"
      "  debug MS                         print the debugger output for MS ms\n"
      "  stop-listening                   end every running listen and debug now\n"
      "simulated mouse (qx27mouse):\n"
      "  mouse dump                       print reports 3 and 4 as the mouse holds them:\n"
      "                                   'perf' + 40 bytes, 'buttons' + 2049 bytes, in hex\n"
      "  mouse load FILE                  what the next gets of reports 3 and 4 return\n"
      "  mouse dpi N                      send input report 02 00 N 00\n"
      "  mouse unplug | mouse plug        unplug or plug the mouse, telling the agent's window\n"
      "  mouse refuse-sets N              refuse the next N feature reports set\n"
      "  mouse report ID                  print the stored feature report ID (6 or 0x06)\n"
      "  mouse log [FROM]                 print every search, set and get that reached the mouse\n"
      "                                   (FROM: from that entry on, counted from 0)\n"
      "  mouse status                     print plugged, open handles, open events handles\n"
      "  mouse wait MS                    wait up to MS ms for the simulated mouse\n"
      "  mouse quit                       end the simulated mouse\n",
      stderr);
  return 2;
}

unsigned long Number(const char* text) { return std::strtoul(text, nullptr, 0); }

int PostToAgent(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND agent = FindWindowW(nullptr, kAgentTitle);
  if (agent == nullptr) {
    std::fputs("qx27ctl: no agent window\n", stderr);
    return 1;
  }
  if (!PostMessageW(agent, message, wparam, lparam)) {
    std::fprintf(stderr, "qx27ctl: posting to the agent window failed (error %lu)\n", GetLastError());
    return 1;
  }
  return 0;
}

// The window exists from the start of the agent's start-up sequence, which
// runs inside its creation; a sent message is answered only once the message
// loop runs, that is once start-up is over. A wait that ends without an
// answer says whether the window was there: an agent that never made it, or
// one whose start-up did not end.
int WaitForAgent(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  bool seen = false;
  for (;;) {
    if (HWND agent = FindWindowW(nullptr, kAgentTitle)) {
      seen = true;
      const ULONGLONG now = GetTickCount64();
      DWORD_PTR result = 0;
      if (now < end && SendMessageTimeoutW(agent, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(end - now), &result)) {
        return 0;
      }
    }
    if (GetTickCount64() >= end) {
      std::fprintf(stderr, "qx27ctl: %s within %lu ms\n",
                   seen ? "the agent window exists but did not answer" : "no agent window", milliseconds);
      return 1;
    }
    Sleep(50);
  }
}

LRESULT CALLBACK ListenProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // Messages the agent posts to the companion UI are all at or above WM_USER,
  // or WM_COMMAND for the exit notice; the window's own traffic is not shown.
  if (message == WM_COMMAND || (message >= WM_USER && message < 0xC000)) {
    std::printf("0x%04x 0x%llx 0x%llx\n", message, static_cast<unsigned long long>(wparam),
                static_cast<unsigned long long>(lparam));
    std::fflush(stdout);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// The OSD window's program is told of the agent's end with a posted
// WM_DESTROY and WM_CLOSE; both are printed and neither ends the window.
LRESULT CALLBACK OsdProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_osd_listening && (message == WM_DESTROY || message == WM_CLOSE || message == WM_COMMAND ||
                          (message >= WM_USER && message < 0xC000))) {
    std::printf("OSDMain 0x%04x 0x%llx 0x%llx\n", message, static_cast<unsigned long long>(wparam),
                static_cast<unsigned long long>(lparam));
    std::fflush(stdout);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateListenWindow(const wchar_t* class_name, WNDPROC procedure, const wchar_t* title) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = class_name;
  RegisterClassW(&window_class);
  return CreateWindowExW(0, class_name, title, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, window_class.hInstance,
                         nullptr);
}

int Listen(DWORD milliseconds, bool osd) {
  // One thread owns both windows, so their lines come in the order the
  // messages were posted.
  HWND window = CreateListenWindow(L"qx27ctl.listen", ListenProc, kCompanionTitle);
  if (window == nullptr) return 1;
  HWND osd_window = nullptr;
  if (osd) {
    osd_window = CreateListenWindow(L"qx27ctl.osd", OsdProc, kOsdTitle);
    if (osd_window == nullptr) return 1;
    g_osd_listening = true;
  }
  HANDLE stop = StopEvent();
  // Scripts wait for this line before they make the agent post anything.
  std::fputs("listening\n", stderr);
  std::fflush(stderr);
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    const DWORD woken =
        MsgWaitForMultipleObjects(stop != nullptr ? 1 : 0, &stop, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (stop != nullptr && woken == WAIT_OBJECT_0) break;
  }
  if (stop != nullptr) CloseHandle(stop);
  g_osd_listening = false;
  if (osd_window != nullptr) DestroyWindow(osd_window);
  DestroyWindow(window);
  return 0;
}

// The DBWIN protocol that debug viewers use: one shared 4 KB buffer, a
// "ready for data" and a "data ready" event.
int Debug(DWORD milliseconds) {
  HANDLE buffer_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
  HANDLE data_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
  if (!buffer_ready || !data_ready || !mapping) return 1;
  auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4096));
  if (view == nullptr) return 1;
  HANDLE stop = StopEvent();
  std::fputs("capturing\n", stderr);
  std::fflush(stderr);
  const ULONGLONG end = GetTickCount64() + milliseconds;
  SetEvent(buffer_ready);
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    HANDLE waits[] = {data_ready, stop};
    if (WaitForMultipleObjects(stop != nullptr ? 2 : 1, waits, FALSE, static_cast<DWORD>(end - now)) != WAIT_OBJECT_0) {
      break;
    }
    std::string text(view + sizeof(DWORD), strnlen(view + sizeof(DWORD), 4096 - sizeof(DWORD)));
    std::fputs(text.c_str(), stdout);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stdout);
    std::fflush(stdout);
    SetEvent(buffer_ready);
  }
  if (stop != nullptr) CloseHandle(stop);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(data_ready);
  CloseHandle(buffer_ready);
  return 0;
}

int AskMouse(const std::string& request) {
  std::string answer;
  switch (qx27::simmouse::AskMouse(request, answer)) {
    case qx27::simmouse::AskResult::kAnswered:
      break;
    case qx27::simmouse::AskResult::kNoMouse:
      std::fputs("qx27ctl: no simulated mouse\n", stderr);
      return 1;
    case qx27::simmouse::AskResult::kFailed:
      std::fputs("qx27ctl: the simulated mouse did not answer\n", stderr);
      return 1;
  }
  if (!qx27::simmouse::AnswerIsOk(answer)) {
    std::fprintf(stderr, "qx27ctl: mouse: %s\n", std::string(qx27::simmouse::AnswerError(answer)).c_str());
    return 1;
  }
  const std::string_view body = qx27::simmouse::AnswerBody(answer);
  std::fwrite(body.data(), 1, body.size(), stdout);
  std::fflush(stdout);
  return 0;
}

int WaitForMouse(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    std::string answer;
    if (qx27::simmouse::AskMouse("status", answer, 2000) == qx27::simmouse::AskResult::kAnswered) return 0;
    if (GetTickCount64() >= end) {
      std::fprintf(stderr, "qx27ctl: the simulated mouse did not answer within %lu ms\n", milliseconds);
      return 1;
    }
    Sleep(50);
  }
}

int Mouse(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[2];
  const char* arg = argc > 3 ? argv[3] : nullptr;
  if (command == "wait" && arg != nullptr) return WaitForMouse(Number(arg));
  std::string request;
  switch (qx27::sim::MouseService::ControlRequest(command, arg, request)) {
    case qx27::sim::MouseService::ControlVerb::kRequest:
      return AskMouse(request);
    case qx27::sim::MouseService::ControlVerb::kUnreadableFile:
      std::fprintf(stderr, "qx27ctl: cannot read %s\n", arg);
      return 1;
    case qx27::sim::MouseService::ControlVerb::kUsage:
      break;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "mouse") return Mouse(argc, argv);
  const char* arg = argc > 2 ? argv[2] : nullptr;

  if (command == "apply") return PostToAgent(0x04FF, 0, 0);
  if (command == "command") return PostToAgent(0x0501, 0, 0);
  if (command == "close") return PostToAgent(WM_CLOSE, 0, 0);
  if (command == "devicechange") return PostToAgent(WM_DEVICECHANGE, 0x0007, 0);
  if (command == "stop-listening") return StopListening();
  if (arg == nullptr) return Usage();
  if (command == "session") return PostToAgent(WM_WTSSESSION_CHANGE, Number(arg), 0);
  if (command == "timer") return PostToAgent(WM_TIMER, Number(arg), 0);
  if (command == "tray") return PostToAgent(0x0465, 128, static_cast<LPARAM>(Number(arg)));
  if (command == "menu") return PostToAgent(WM_COMMAND, Number(arg), 0);
  if (command == "wait") return WaitForAgent(Number(arg));
  if (command == "listen") {
    const bool osd = argc > 3 && std::strcmp(argv[3], "--osd") == 0;
    if (argc > 3 && !osd) return Usage();
    return Listen(Number(arg), osd);
  }
  if (command == "debug") return Debug(Number(arg));
  return Usage();
}
