// The baseline for the agent's idle cost: a bare program with one hidden
// top-level window and a message loop, nothing else. It ends on WM_CLOSE.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"qx27.idle";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"qx27 idle window", WS_POPUP, 100, 100, 100, 100,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_CLOSE && message.hwnd == window) DestroyWindow(window);
    DispatchMessageW(&message);
  }
  return 0;
}
