#include "sim/win32/mouse_pipe.h"

#include "sim/mouse_service.h"

namespace qx27::simmouse {
namespace {

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

DWORD Remaining(ULONGLONG deadline) {
  const ULONGLONG now = GetTickCount64();
  return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

// Runs one overlapped transfer to its end or to the deadline. Gives the
// transfer's own error (0 on success) and the byte count.
DWORD Transfer(HANDLE pipe, HANDLE event, bool write, void* buffer, DWORD size, ULONGLONG deadline, DWORD& bytes) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  bytes = 0;
  const BOOL done =
      write ? WriteFile(pipe, buffer, size, nullptr, &overlapped) : ReadFile(pipe, buffer, size, nullptr, &overlapped);
  const DWORD error = done ? 0 : GetLastError();
  if (error == ERROR_IO_PENDING) {
    if (WaitForSingleObject(event, Remaining(deadline)) != WAIT_OBJECT_0) {
      CancelIoEx(pipe, &overlapped);
      GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
      return ERROR_TIMEOUT;
    }
  } else if (error != 0 && error != ERROR_MORE_DATA) {
    return error;
  }
  // A read that ends at once with ERROR_MORE_DATA has read a piece too; its
  // byte count is only in the result. Dropping it lost 16 KB from the middle
  // of every long answer (the mouse's log after a few applies).
  if (!GetOverlappedResult(pipe, &overlapped, &bytes, FALSE)) return GetLastError();
  return 0;
}

}  // namespace

std::wstring Widen(std::string_view text) { return std::wstring(text.begin(), text.end()); }

std::string Narrow(std::wstring_view text) {
  std::string narrow;
  for (wchar_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

DWORD AnswerTimeFor(std::string_view request) {
  const std::string_view verb = request.substr(0, request.find_first_of(" \n"));
  return verb == "plug" || verb == "unplug" ? kTransitionAnswerMs : kAnswerMs;
}

AskResult AskMouse(std::string_view request, std::string& answer, DWORD timeout_ms) {
  answer.clear();
  if (timeout_ms == kByRequest) timeout_ms = AnswerTimeFor(request);
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  const std::wstring path = Widen(std::string(sim::kPipeNamespace) + std::string(sim::kControlPipeName));
  HANDLE raw = INVALID_HANDLE_VALUE;
  for (;;) {
    raw = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                      nullptr);
    if (raw != INVALID_HANDLE_VALUE) break;
    // The mouse keeps spare instances waiting, so a busy pipe clears at once;
    // a missing one means no mouse process.
    if (GetLastError() != ERROR_PIPE_BUSY) return AskResult::kNoMouse;
    if (Remaining(deadline) == 0) return AskResult::kFailed;
    Sleep(2);
  }
  Handle pipe(raw);
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) return AskResult::kFailed;
  Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (event.get() == nullptr) return AskResult::kFailed;

  std::string message(request);
  DWORD bytes = 0;
  if (Transfer(pipe.get(), event.get(), true, message.data(), static_cast<DWORD>(message.size()), deadline, bytes) !=
          0 ||
      bytes != message.size()) {
    return AskResult::kFailed;
  }
  // The answer is one message, read in pieces while the pipe says there is more.
  char chunk[16384];
  for (;;) {
    ResetEvent(event.get());
    const DWORD error = Transfer(pipe.get(), event.get(), false, chunk, sizeof(chunk), deadline, bytes);
    answer.append(chunk, bytes);
    if (error == 0) return AskResult::kAnswered;
    if (error != ERROR_MORE_DATA) return AskResult::kFailed;
  }
}

bool AnswerIsOk(std::string_view answer) { return answer.starts_with("ok\n") || answer == "ok"; }

std::string_view AnswerBody(std::string_view answer) {
  const std::size_t end = answer.find('\n');
  return end == std::string_view::npos ? std::string_view{} : answer.substr(end + 1);
}

std::string_view AnswerError(std::string_view answer) {
  std::string_view line = answer.substr(0, answer.find('\n'));
  if (line.starts_with("error ")) line.remove_prefix(6);
  return line;
}

}  // namespace qx27::simmouse
