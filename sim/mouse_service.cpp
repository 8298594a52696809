#include "sim/mouse_service.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#include "sim/report_text.h"

namespace qx27::sim {
namespace {

using Answer = MouseService::Answer;

Answer Ok(std::string body = {}) { return {"ok\n" + body}; }
Answer Error(std::string_view word, std::string_view text) {
  return {"error " + std::string(word) + " " + std::string(text) + "\n"};
}

std::optional<long> Number(std::string_view text) {
  long value = 0;
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return std::nullopt;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (status != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

std::string UpperHex(std::uint16_t value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int shift = 12; shift >= 0; shift -= 4) text.push_back(kHex[(value >> shift) & 0xF]);
  return text;
}

// Splits off the first word of `text`.
std::string_view Word(std::string_view& text) {
  const std::size_t space = text.find(' ');
  const std::string_view word = text.substr(0, space);
  text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
  return word;
}

}  // namespace

MouseService::ControlVerb MouseService::ControlRequest(std::string_view command, const char* arg,
                                                       std::string& request) {
  request.assign(command);
  if (command == "log" && arg != nullptr) {
    request += std::string(" ") + arg;
    return ControlVerb::kRequest;
  }
  if (command == "dump" || command == "unplug" || command == "plug" || command == "log" || command == "status" ||
      command == "quit") {
    return ControlVerb::kRequest;
  }
  if (arg == nullptr) return ControlVerb::kUsage;
  if (command == "dpi" || command == "refuse-sets" || command == "report") {
    request += std::string(" ") + arg;
    return ControlVerb::kRequest;
  }
  if (command == "load") {
    std::ifstream file(arg, std::ios::binary);
    if (!file) return ControlVerb::kUnreadableFile;
    std::ostringstream text;
    text << file.rdbuf();
    request = "load\n" + text.str();
    return ControlVerb::kRequest;
  }
  return ControlVerb::kUsage;
}

const char* MouseService::ParseStartOptions(std::span<char* const> args, StartOptions& options) {
  for (const char* arg : args) {
    const std::string_view option(arg);
    if (option == "--unplugged") {
      options.plugged = false;
    } else if (option == "--second-identity") {
      options.vendor_id = 0x1B80;
      options.product_id = 0xB412;
    } else {
      return arg;
    }
  }
  return nullptr;
}

MouseService::MouseService(bool plugged, std::uint16_t vendor_id, std::uint16_t product_id)
    : mouse_(bus_.AddDevice(MouseLayout(vendor_id, product_id))) {
  for (const InterfaceLayout& interface : mouse_.layout().interfaces) {
    service_handles_.push_back(interface.can_open ? bus_.OpenForFeatureRequests(interface.path) : kInvalidHid);
  }
  if (!plugged) mouse_.Unplug();
}

std::string MouseService::PipeName(std::size_t index) const {
  // The system's path without its "\\?\" prefix: the identity and the
  // collection number stay readable in the device path the agent sees.
  std::u16string_view path = mouse_.layout().interfaces[index].path;
  if (path.starts_with(u"\\\\?\\")) path.remove_prefix(4);
  return std::string(kControlPipeName) + "." + std::to_string(generation_) + "." + Narrow(path);
}

std::vector<MouseService::Interface> MouseService::PresentInterfaces() const {
  std::lock_guard lock(mutex_);
  std::vector<Interface> present;
  if (!mouse_.plugged()) return present;
  const auto& interfaces = mouse_.layout().interfaces;
  for (std::size_t i = 0; i < interfaces.size(); ++i) {
    present.push_back({PipeName(i), interfaces[i].path, interfaces[i].input_report_length,
                       interfaces[i].feature_report_length, interfaces[i].can_open});
  }
  return present;
}

std::optional<std::size_t> MouseService::FindPresent(std::string_view pipe_name) const {
  // A name from an earlier plug-in no longer leads anywhere, as a handle on a
  // device that was unplugged stays dead after it comes back.
  if (!mouse_.plugged()) return std::nullopt;
  for (std::size_t i = 0; i < mouse_.layout().interfaces.size(); ++i) {
    if (PipeName(i) == pipe_name) return i;
  }
  return std::nullopt;
}

MouseService::Connection MouseService::OpenConnection(std::string_view pipe_name) {
  std::lock_guard lock(mutex_);
  const auto index = FindPresent(pipe_name);
  if (!index) return {};
  const InterfaceLayout& interface = mouse_.layout().interfaces[*index];
  const HidHandle handle = bus_.Open(interface.path);
  if (handle == kInvalidHid) return {};
  connections_.emplace_back(handle, *index);
  return {handle, interface.input_report_length > 0};
}

void MouseService::CloseConnection(HidHandle handle) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(connections_.begin(), connections_.end(),
                               [&](const auto& connection) { return connection.first == handle; });
  if (it == connections_.end()) return;
  connections_.erase(it);
  bus_.Close(handle);
}

int MouseService::open_connections() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(connections_.size());
}

int MouseService::open_input_connections() const {
  return static_cast<int>(std::count_if(connections_.begin(), connections_.end(), [&](const auto& connection) {
    return mouse_.layout().interfaces[connection.second].input_report_length > 0;
  }));
}

std::vector<std::uint8_t> MouseService::HeldReport(std::uint8_t report_id, std::size_t length) const {
  // What a get of this report would give: the report ID, then what is stored.
  std::vector<std::uint8_t> report = mouse_.StoredReport(report_id);
  report.resize(length, 0);
  report[0] = report_id;
  return report;
}

Answer MouseService::Handle(std::string_view request) {
  std::lock_guard lock(mutex_);
  const std::size_t line_end = request.find('\n');
  std::string_view line = request.substr(0, line_end);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::string_view rest = line_end == std::string_view::npos ? std::string_view{} : request.substr(line_end + 1);
  std::string_view args = line;
  const std::string_view verb = Word(args);

  if (verb == "list") return List();
  if (verb == "devices") return Devices();
  if (verb == "caps") return Caps(args);
  if (verb == "attributes") return Attributes(args);
  if (verb == "set") {
    const std::string_view name = Word(args);
    return SetFeature(name, args);
  }
  if (verb == "get") {
    const std::string_view name = Word(args);
    return GetFeature(name, args);
  }
  if (verb == "dump") return Ok(FormatConfiguration(HeldReport(3, kPerfLength), HeldReport(4, kButtonsLength)));
  if (verb == "load") return Load(rest);
  if (verb == "dpi") return Dpi(args);
  if (verb == "report") return Report(args);
  if (verb == "status") return Status();
  if (verb == "log") {
    // "log FROM": the entries from FROM (counted from 0) on, so that a client
    // that polls need not fetch the whole log, which grows with every report.
    std::size_t from = 0;
    if (!args.empty()) {
      const auto first = Number(args);
      if (!first || *first < 0) return Error("syntax", "log takes the number of the first entry");
      from = static_cast<std::size_t>(*first);
    }
    std::string body;
    for (std::size_t i = from; i < log_.size(); ++i) body += log_[i] + "\n";
    return Ok(body);
  }
  if (verb == "refuse-sets") {
    const auto count = Number(args);
    if (!count || *count < 0 || *count > 1000000) return Error("syntax", "refuse-sets needs a count");
    mouse_.RefuseNextSets(static_cast<int>(*count));
    return Ok();
  }
  if (verb == "unplug") {
    if (!mouse_.plugged()) return Ok("already unplugged\n");
    mouse_.Unplug();
    return {"ok\n", Event::kUnplugged};
  }
  if (verb == "plug") {
    if (mouse_.plugged()) return Ok("already plugged\n");
    ++generation_;
    mouse_.Plug();
    return {"ok\n", Event::kPlugged};
  }
  if (verb == "quit") return {"ok\n", Event::kQuit};
  return Error("syntax", "unknown request");
}

Answer MouseService::List() {
  std::string body;
  std::size_t listed = 0;
  if (mouse_.plugged()) {
    for (; listed < mouse_.layout().interfaces.size(); ++listed) {
      body.append(kPipeNamespace).append(PipeName(listed)).append("\n");
    }
  }
  // A search is the first thing the agent does before any report: a test
  // sees that a request was handled even when nothing could be sent.
  log_.push_back("list " + std::to_string(listed));
  return Ok(body);
}

Answer MouseService::Devices() {
  // What the system's device list holds for a plugged-in mouse: the USB
  // device, then one HID device per collection. Each line is a device's
  // hardware IDs, most specific first, separated by single spaces.
  std::string body;
  std::size_t listed = 0;
  if (mouse_.plugged()) {
    const DeviceLayout& layout = mouse_.layout();
    const std::string ids = "VID_" + UpperHex(layout.vendor_id) + "&PID_" + UpperHex(layout.product_id);
    body += "USB\\" + ids + "&REV_0100 USB\\" + ids + "\n";
    ++listed;
    for (std::size_t i = 0; i < layout.interfaces.size(); ++i, ++listed) {
      const std::string collection = "&Col0" + std::to_string(i + 1);
      body += "HID\\" + ids + "&REV_0100" + collection + " HID\\" + ids + collection + " HID_DEVICE\n";
    }
  }
  log_.push_back("devices " + std::to_string(listed));
  return Ok(body);
}

Answer MouseService::Caps(std::string_view name) {
  const auto index = FindPresent(name);
  if (!index) return Error("absent", "no such interface present");
  HidCaps caps;
  if (!bus_.GetCaps(service_handles_[*index], caps)) return Error("absent", "the interface does not answer");
  return Ok(std::to_string(caps.input_report_length) + " " + std::to_string(caps.feature_report_length) + "\n");
}

Answer MouseService::Attributes(std::string_view name) {
  const auto index = FindPresent(name);
  if (!index) return Error("absent", "no such interface present");
  HidAttributes attributes;
  if (!bus_.GetAttributes(service_handles_[*index], attributes)) {
    return Error("absent", "the interface does not answer");
  }
  return Ok(std::to_string(attributes.vendor_id) + " " + std::to_string(attributes.product_id) + "\n");
}

Answer MouseService::SetFeature(std::string_view name, std::string_view bytes_text) {
  const auto bytes = ParseHexBytes(bytes_text);
  if (!bytes || bytes->empty()) return Error("syntax", "set needs the report's bytes");
  // Every set that reaches the mouse is logged, even one that fails: a test
  // that expects nothing to be sent sees any attempt.
  const auto logged = [&](std::string_view outcome) {
    log_.push_back("set " + std::string(outcome) + " " + HexBytes(*bytes));
  };
  const auto index = FindPresent(name);
  if (!index) {
    logged("absent");
    return Error("absent", "no such interface present");
  }
  const int refused_before = mouse_.sets_refused((*bytes)[0]);
  if (bus_.SetFeature(service_handles_[*index], *bytes)) {
    logged("accepted");
    return Ok();
  }
  if (mouse_.sets_refused((*bytes)[0]) > refused_before) {
    logged("refused");
    return Error("refused", "the mouse refused the report");
  }
  logged("rejected");
  return Error("length", "the interface has no feature report of this length");
}

Answer MouseService::GetFeature(std::string_view name, std::string_view bytes_text) {
  auto bytes = ParseHexBytes(bytes_text);
  if (!bytes || bytes->empty()) return Error("syntax", "get needs the caller's buffer");
  const auto logged = [&](std::string_view outcome) {
    log_.push_back("get " + std::string(outcome) + " " + HexBytes(std::span(*bytes).first(1)) + " " +
                   std::to_string(bytes->size()));
  };
  const auto index = FindPresent(name);
  if (!index) {
    logged("absent");
    return Error("absent", "no such interface present");
  }
  if (!bus_.GetFeature(service_handles_[*index], *bytes)) {
    logged("rejected");
    return Error("length", "the interface has no feature report of this length");
  }
  logged("answered");
  return Ok(HexBytes(*bytes) + "\n");
}

Answer MouseService::Load(std::string_view text) {
  std::string error;
  const auto configuration = ParseConfiguration(text, error);
  if (!configuration) return Error("syntax", error);
  if (configuration->perf) mouse_.StoreReport(*configuration->perf);
  if (configuration->buttons) mouse_.StoreReport(*configuration->buttons);
  return Ok();
}

Answer MouseService::Dpi(std::string_view stage_text) {
  const auto stage = Number(stage_text);
  if (!stage || *stage < 0 || *stage > 255) return Error("syntax", "dpi needs a stage from 0 to 255");
  if (!mouse_.plugged()) return Error("absent", "the mouse is unplugged");
  // The system hands an input report only to handles open at that moment.
  if (open_input_connections() == 0) return Error("unheard", "no handle is open on the events interface");
  const std::uint8_t report[] = {0x02, 0x00, static_cast<std::uint8_t>(*stage), 0x00};
  mouse_.SendInput(report);
  return Ok();
}

Answer MouseService::Report(std::string_view id_text) const {
  const auto id = Number(id_text);
  if (!id || *id < 0 || *id > 255) return Error("syntax", "report needs a report ID");
  const auto report = mouse_.StoredReport(static_cast<std::uint8_t>(*id));
  if (report.empty()) return Error("none", "nothing stored for this report ID");
  return Ok(HexBytes(report) + "\n");
}

Answer MouseService::Status() const {
  return Ok(std::string("plugged ") + (mouse_.plugged() ? "1" : "0") + "\nhandles " +
            std::to_string(connections_.size()) + "\nevents-handles " + std::to_string(open_input_connections()) +
            "\n");
}

}  // namespace qx27::sim
