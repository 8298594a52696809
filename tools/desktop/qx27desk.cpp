// qx27desk: what a person sees on the harness's Wine desktop, for scripts.
// The harness runs everything on a virtual desktop whose taskbar holds the
// notification area; this tool tells where the taskbar and any open pop-up
// menu are, and which top-level windows carry a title, so that a script can
// click the tray icon, see the menu and count agents.
//
//   qx27desk taskbar          "taskbar LEFT TOP RIGHT BOTTOM", or exit 1
//   qx27desk wait-taskbar MS  wait up to MS ms for the taskbar
//   qx27desk menus            one "menu LEFT TOP RIGHT BOTTOM" line per open pop-up menu
//   qx27desk count TITLE      how many top-level windows have exactly this title
//   qx27desk hold MS          wait up to MS ms for the taskbar, print "holding",
//                             then keep the desktop open until killed
//   qx27desk forget-icon TITLE ID  delete the notification icon ID of the window
//                             with this title, as a restarting shell forgets it
//   qx27desk taskbar-created  broadcast the shell's registered "TaskbarCreated",
//                             as a restarted shell does
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Usage() {
  std::fputs(
      "usage: qx27desk taskbar | wait-taskbar MS | menus | count TITLE | hold MS | forget-icon TITLE ID | "
      "taskbar-created\n",
      stderr);
  return 2;
}

void PrintRect(const char* what, HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  std::printf("%s %ld %ld %ld %ld\n", what, rect.left, rect.top, rect.right, rect.bottom);
}

HWND VisibleTaskbar() {
  HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
  return taskbar != nullptr && IsWindowVisible(taskbar) ? taskbar : nullptr;
}

// The limit is in real time: on a loaded machine a Sleep(50) lasts longer.
bool WaitForTaskbar(unsigned long limit_ms) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (VisibleTaskbar() == nullptr) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(50);
  }
  return true;
}

std::wstring FromUtf8(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(std::wcslen(wide.c_str()));
  return wide;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "taskbar") {
    HWND taskbar = VisibleTaskbar();
    if (taskbar == nullptr) return 1;
    PrintRect("taskbar", taskbar);
    return 0;
  }
  if (command == "wait-taskbar" && argc == 3) return WaitForTaskbar(std::strtoul(argv[2], nullptr, 0)) ? 0 : 1;
  if (command == "menus") {
    // Pop-up menus are top-level windows of the system's menu class.
    for (HWND window : TopLevelWindows()) {
      wchar_t class_name[16] = {};
      GetClassNameW(window, class_name, 16);
      if (std::wcscmp(class_name, L"#32768") == 0 && IsWindowVisible(window)) PrintRect("menu", window);
    }
    return 0;
  }
  if (command == "hold" && argc == 3) {
    // Wine closes a virtual desktop, taskbar and all, a second after the last
    // program on it ends, and between a harness's steps there may be none.
    // This program is on the desktop from before the taskbar shows until the
    // harness's Wine server ends it, so there is no such second.
    if (!WaitForTaskbar(std::strtoul(argv[2], nullptr, 0))) return std::fputs("qx27desk hold: no taskbar\n", stderr), 1;
    HWND window = CreateWindowExW(0, L"STATIC", L"qx27desk hold", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) return 1;
    std::puts("holding");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
  }
  if (command == "forget-icon" && argc == 4) {
    // Any program may ask the shell to delete an icon: it is known by its
    // window and identifier alone.
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = FindWindowW(nullptr, FromUtf8(argv[2]).c_str());
    icon.uID = static_cast<UINT>(std::strtoul(argv[3], nullptr, 0));
    if (icon.hWnd == nullptr) return 1;
    return Shell_NotifyIconW(NIM_DELETE, &icon) ? 0 : 1;
  }
  if (command == "taskbar-created") {
    const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message != 0 && PostMessageW(HWND_BROADCAST, message, 0, 0) ? 0 : 1;
  }
  if (command == "count" && argc == 3) {
    const std::wstring title = FromUtf8(argv[2]);
    int count = 0;
    for (HWND window : TopLevelWindows()) {
      wchar_t text[256] = {};
      GetWindowTextW(window, text, 256);
      if (title == text) ++count;
    }
    std::printf("%d\n", count);
    return 0;
  }
  return Usage();
}
