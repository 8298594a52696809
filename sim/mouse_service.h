// The simulated mouse offered to other processes: the harness's qx27mouse.exe
// serves it over named pipes, the stand-in HID and device-setup libraries and
// qx27ctl ask it questions in short text requests. All the mouse's behaviour
// stays in SimDevice and SimHidBus; this layer names the interfaces, answers
// requests and keeps a log of what the agent asked of the mouse.
//
// The log holds, in order, every interface search ("list N": N interfaces
// listed), every search for present devices ("devices N": N devices listed),
// every feature report set ("set OUTCOME bytes") and every get ("get OUTCOME
// id length") that reached the mouse.
//
// A request is one message: a first line "verb args...", for some verbs
// followed by more lines. An answer's first line is "ok" or "error WORD text";
// the lines after it are its body.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_hid.h"

namespace qx27::sim {

// Where the interfaces' pipes and the control pipe live in the pipe namespace.
inline constexpr std::string_view kPipeNamespace = R"(\\.\pipe\)";
inline constexpr std::string_view kControlPipeName = "qx27mouse";

class MouseService {
 public:
  enum class Event { kNone, kPlugged, kUnplugged, kQuit };
  struct Answer {
    std::string text;
    Event event = Event::kNone;  // what the serving process must act on
  };
  struct Interface {
    std::string pipe_name;  // without the namespace; changes with every plug-in
    std::u16string sim_path;
    int input_report_length = 0;
    int feature_report_length = 0;
    bool can_open = true;
  };
  struct Connection {
    HidHandle handle = kInvalidHid;
    bool delivers_input = false;  // the events interface: input reports flow to the client
  };

  // How a mouse program starts: plugged in or not, and which vendor and
  // product ID pair it presents (the second is the one the presence check
  // asks about).
  struct StartOptions {
    bool plugged = true;
    std::uint16_t vendor_id = 0x3938;
    std::uint16_t product_id = 0x1101;
  };
  // Reads --unplugged and --second-identity, the options of both mouse
  // programs. Gives the first argument it does not know, or null.
  static const char* ParseStartOptions(std::span<char* const> args, StartOptions& options);

  // The request a control client sends for `ctl mouse COMMAND [ARG]`, one
  // reading of the verbs for every client. `wait` is the clients' own, since
  // they poll until the mouse answers at all.
  enum class ControlVerb { kRequest, kUsage, kUnreadableFile };
  static ControlVerb ControlRequest(std::string_view command, const char* arg, std::string& request);

  // The mouse answers to the first vendor and product ID pair unless told to
  // present the second.
  explicit MouseService(bool plugged = true, std::uint16_t vendor_id = 0x3938, std::uint16_t product_id = 0x1101);
  explicit MouseService(const StartOptions& options)
      : MouseService(options.plugged, options.vendor_id, options.product_id) {}

  SimHidBus& bus() { return bus_; }
  SimDevice& mouse() { return mouse_; }

  Answer Handle(std::string_view request);

  // The interfaces present now, in enumeration order; none while unplugged.
  std::vector<Interface> PresentInterfaces() const;
  // A client has opened the pipe of an interface; gives an invalid handle when
  // the name is not one of the present interfaces or the interface cannot be
  // opened.
  Connection OpenConnection(std::string_view pipe_name);
  void CloseConnection(HidHandle handle);
  int open_connections() const;

 private:
  std::optional<std::size_t> FindPresent(std::string_view pipe_name) const;
  std::string PipeName(std::size_t index) const;
  std::vector<std::uint8_t> HeldReport(std::uint8_t report_id, std::size_t length) const;
  int open_input_connections() const;

  Answer List();
  Answer Devices();
  Answer Caps(std::string_view name);
  Answer Attributes(std::string_view name);
  Answer SetFeature(std::string_view name, std::string_view bytes_text);
  Answer GetFeature(std::string_view name, std::string_view bytes_text);
  Answer Load(std::string_view text);
  Answer Dpi(std::string_view stage_text);
  Answer Report(std::string_view id_text) const;
  Answer Status() const;

  mutable std::mutex mutex_;
  SimHidBus bus_;
  SimDevice& mouse_;
  int generation_ = 1;
  std::vector<HidHandle> service_handles_;  // one per interface, for feature requests
  std::vector<std::pair<HidHandle, std::size_t>> connections_;
  std::vector<std::string> log_;
};

}  // namespace qx27::sim
