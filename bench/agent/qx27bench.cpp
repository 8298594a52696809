// qx27bench: timings of the shipped agent under the harness, taken from the
// Windows side so that no process start sits inside a measurement.
//
//   qx27bench apply N          0x04FF posted -> reports 3 and 4 both stored in the mouse
//   qx27bench compare N PATH   the apply for the agent and for the reference program
//                              at PATH (qx27_reference_apply.exe), in turn, and their ratio
//   qx27bench dpi N            input report sent -> 0x0506 at the companion window
//   qx27bench startup N PATH   process created -> "OnCreate over" on the debugger channel;
//                              each agent is closed again (WM_CLOSE) before the next
//
// Each prints one line per sample ("apply 1 312.4 ms") and a summary line
// ("apply: n 10, min .., median .., max .. ms"). Needs the harness's mouse.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/win32/mouse_pipe.h"

namespace {

constexpr wchar_t kAgentTitle[] = L"VORN ELDAN QX27_Hid";
constexpr wchar_t kCompanionTitle[] = L"VORN ELDAN QX27";
// bench/agent/reference_apply.cpp
constexpr wchar_t kReferenceTitle[] = L"qx27 reference apply";
constexpr UINT kApplyRequest = 0x04FF;
constexpr UINT kDpiStageChanged = 0x0506;
constexpr double kGiveUpMs = 20000;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Summary(const char* what, std::vector<double> samples) {
  if (samples.empty()) {
    std::printf("%s: no sample\n", what);
    return;
  }
  std::sort(samples.begin(), samples.end());
  std::printf("%s: n %zu, min %.1f, median %.1f, max %.1f ms\n", what, samples.size(), samples.front(),
              samples[samples.size() / 2], samples.back());
}

// The mouse's log read as it grows: each poll fetches only the entries that
// came since the last, so that a poll costs the same at the thousandth apply
// as at the first and the mouse, busy with its answers, does not slow the
// reports being measured.
class LogCursor {
 public:
  // Moves to the end of the log; false if the mouse did not answer.
  bool SkipToEnd() { return Poll(nullptr, nullptr); }
  // Counts the accepted sets of reports 3 and 4 among the new entries.
  bool Poll(int* performance, int* buttons) {
    std::string answer;
    const std::string request = "log " + std::to_string(next_);
    if (qx27::simmouse::AskMouse(request, answer) != qx27::simmouse::AskResult::kAnswered ||
        !qx27::simmouse::AnswerIsOk(answer)) {
      return false;
    }
    const std::string_view body = qx27::simmouse::AnswerBody(answer);
    for (std::size_t at = 0; at < body.size();) {
      std::size_t end = body.find('\n', at);
      if (end == std::string_view::npos) end = body.size();
      const std::string_view entry = body.substr(at, end - at);
      if (performance != nullptr && entry.starts_with("set accepted 03 ")) ++*performance;
      if (buttons != nullptr && entry.starts_with("set accepted 04 ")) ++*buttons;
      ++next_;
      at = end + 1;
    }
    return true;
  }

 private:
  std::size_t next_ = 0;
};

// One apply: posts 0x04FF to `target` and polls the mouse's log until both
// reports are stored. Gives false when they never were, or when the mouse
// stopped answering.
bool ApplyOnce(HWND target, double& perf_at, double& buttons_at) {
  perf_at = -1;
  buttons_at = -1;
  LogCursor log;
  if (!log.SkipToEnd()) return false;
  int performance = 0, buttons = 0;
  const double start = NowMs();
  PostMessageW(target, kApplyRequest, 0, 0);
  while (buttons_at < 0 && NowMs() - start < kGiveUpMs) {
    log.Poll(&performance, &buttons);
    const double now = NowMs();
    if (perf_at < 0 && performance > 0) perf_at = now - start;
    if (perf_at >= 0 && buttons > 0) buttons_at = now - start;
    Sleep(1);
  }
  return buttons_at >= 0;
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples.empty() ? 0 : samples[samples.size() / 2];
}

int Apply(int samples) {
  HWND agent = FindWindowW(nullptr, kAgentTitle);
  if (agent == nullptr) return std::fputs("qx27bench: no agent window\n", stderr), 1;
  std::vector<double> totals, perf_times, gaps;
  for (int i = 1; i <= samples; ++i) {
    double perf_at = -1, buttons_at = -1;
    if (!ApplyOnce(agent, perf_at, buttons_at)) {
      return std::fputs("qx27bench: the reports never reached the mouse\n", stderr), 1;
    }
    std::printf("apply %d: report 3 at %.1f ms, report 4 at %.1f ms\n", i, perf_at, buttons_at);
    totals.push_back(buttons_at);
    perf_times.push_back(perf_at);
    gaps.push_back(buttons_at - perf_at);
    Sleep(200);
  }
  Summary("apply, 0x04FF to both reports stored", totals);
  Summary("apply, 0x04FF to report 3 stored", perf_times);
  Summary("apply, report 3 to report 4 (floor 300 ms)", gaps);
  return 0;
}

// Starts a program and waits for its window with this title; null if it
// never came.
HWND StartAndFind(const std::wstring& path, const wchar_t* title, PROCESS_INFORMATION& process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring command_line = L"\"" + path + L"\"";
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  if (!CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process)) {
    return nullptr;
  }
  for (const double start = NowMs(); NowMs() - start < kGiveUpMs; Sleep(20)) {
    if (HWND window = FindWindowW(nullptr, title)) return window;
  }
  return nullptr;
}

std::wstring Wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(wide.size() - 1);
  return wide;
}

// The agent beside the reference program, sample for sample in turn, so that
// both see the same load; the ratio of the medians is the agent's own cost.
int Compare(int samples, const char* reference_path) {
  HWND agent = FindWindowW(nullptr, kAgentTitle);
  if (agent == nullptr) return std::fputs("qx27bench: no agent window\n", stderr), 1;
  PROCESS_INFORMATION process{};
  HWND reference = StartAndFind(Wide(reference_path), kReferenceTitle, process);
  int result = 0;
  std::vector<double> agent_times, reference_times;
  for (int i = 1; i <= samples && reference != nullptr; ++i) {
    double perf_at = -1, agent_at = -1, reference_at = -1;
    if (!ApplyOnce(agent, perf_at, agent_at)) {
      std::fprintf(stderr, "qx27bench: the agent's reports never reached the mouse (sample %d, report 3 %s)\n", i,
                   perf_at < 0 ? "missing" : "stored");
      result = 1;
      break;
    }
    Sleep(200);
    if (!ApplyOnce(reference, perf_at, reference_at)) {
      std::fprintf(stderr,
                   "qx27bench: the reference program's reports never reached the mouse (sample %d, report 3 %s)\n", i,
                   perf_at < 0 ? "missing" : "stored");
      result = 1;
      break;
    }
    std::printf("compare %d: agent %.1f ms, reference %.1f ms\n", i, agent_at, reference_at);
    agent_times.push_back(agent_at);
    reference_times.push_back(reference_at);
    Sleep(200);
  }
  if (reference == nullptr) {
    std::fputs("qx27bench: the reference program did not start\n", stderr);
    result = 1;
  }
  if (process.hProcess != nullptr) {
    if (reference != nullptr) PostMessageW(reference, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (result != 0) return result;
  Summary("apply, agent", agent_times);
  Summary("apply, reference program", reference_times);
  std::printf("apply, agent / reference (medians): %.2f\n", Median(agent_times) / Median(reference_times));
  return 0;
}

double g_dpi_arrived = -1;

LRESULT CALLBACK CompanionProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kDpiStageChanged) {
    g_dpi_arrived = NowMs();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

int Dpi(int samples) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = CompanionProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"qx27bench.companion";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, kCompanionTitle, WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) return 1;
  std::vector<double> times;
  for (int i = 1; i <= samples; ++i) {
    const std::string request = "dpi " + std::to_string(i % 6 + 1);
    g_dpi_arrived = -1;
    const double start = NowMs();
    std::string answer;
    if (qx27::simmouse::AskMouse(request, answer) != qx27::simmouse::AskResult::kAnswered ||
        !qx27::simmouse::AnswerIsOk(answer)) {
      return std::fputs("qx27bench: the mouse did not send the report\n", stderr), 1;
    }
    while (g_dpi_arrived < 0 && NowMs() - start < kGiveUpMs) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    if (g_dpi_arrived < 0) return std::fputs("qx27bench: no 0x0506 arrived\n", stderr), 1;
    std::printf("dpi %d %.1f ms\n", i, g_dpi_arrived - start);
    times.push_back(g_dpi_arrived - start);
    Sleep(100);
  }
  DestroyWindow(window);
  Summary("dpi", times);
  return 0;
}

// The debugger channel as debug viewers read it (DBWIN).
struct DebugChannel {
  HANDLE buffer_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
  HANDLE data_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
  const char* view = mapping ? static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4096)) : nullptr;

  // Waits for a line that starts with `text`; gives the time it came, or -1.
  double WaitFor(const char* text, double until) {
    for (;;) {
      const double now = NowMs();
      if (now >= until) return -1;
      SetEvent(buffer_ready);
      if (WaitForSingleObject(data_ready, static_cast<DWORD>(until - now)) != WAIT_OBJECT_0) return -1;
      const double arrived = NowMs();
      if (std::strncmp(view + sizeof(DWORD), text, std::strlen(text)) == 0) {
        SetEvent(buffer_ready);
        return arrived;
      }
    }
  }
};

int Startup(int samples, const char* agent_path) {
  DebugChannel channel;
  if (channel.view == nullptr) return 1;
  const std::wstring path = Wide(agent_path);
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  std::vector<double> times;
  for (int i = 1; i <= samples; ++i) {
    if (FindWindowW(nullptr, kAgentTitle) != nullptr) return std::fputs("qx27bench: an agent is running\n", stderr), 1;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring command_line = L"\"" + path + L"\"";
    const double start = NowMs();
    if (!CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
      return std::fputs("qx27bench: cannot start the agent\n", stderr), 1;
    }
    const double over = channel.WaitFor("OnCreate over", start + kGiveUpMs);
    if (over < 0) return std::fputs("qx27bench: no \"OnCreate over\"\n", stderr), 1;
    std::printf("startup %d %.1f ms\n", i, over - start);
    times.push_back(over - start);
    HWND agent = FindWindowW(nullptr, kAgentTitle);
    if (agent != nullptr) PostMessageW(agent, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Sleep(300);
  }
  Summary("startup", times);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3)
    return std::fputs("usage: qx27bench apply N | compare N REFERENCE_PATH | dpi N | startup N AGENT_PATH\n", stderr),
           2;
  const std::string command = argv[1];
  const int samples = std::atoi(argv[2]);
  int result = 2;
  if (command == "apply") result = Apply(samples);
  if (command == "compare" && argc == 4) result = Compare(samples, argv[3]);
  if (command == "dpi") result = Dpi(samples);
  if (command == "startup" && argc == 4) result = Startup(samples, argv[3]);
  std::fflush(stdout);
  return result;
}
