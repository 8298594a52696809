#include "sim/mouse_service.h"

#include <gtest/gtest.h>

#include "sim/report_text.h"

namespace qx27::sim {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// The pipe name of the interface whose feature length (or input length, for
// events) is `length`.
std::string NameOf(const MouseService& service, int feature_length, int input_length = 0) {
  for (const auto& interface : service.PresentInterfaces()) {
    if (interface.can_open && interface.feature_report_length == feature_length &&
        interface.input_report_length == input_length) {
      return interface.pipe_name;
    }
  }
  return {};
}

TEST(MouseService, ListsFivePipePathsThatCarryTheMouseIdentity) {
  MouseService service;
  const auto lines = Lines(service.Handle("list").text);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "ok");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(R"(\\.\pipe\qx27mouse.1.hid#vid_3938&pid_1101&col0)", 0), 0u) << lines[i];
  }
}

TEST(MouseService, EverySearchIsLoggedWithTheNumberOfInterfacesListed) {
  MouseService service;
  service.Handle("list");
  service.Handle("unplug");
  service.Handle("list");
  EXPECT_EQ(service.Handle("log").text, "ok\nlist 5\nlist 0\n");
}

TEST(MouseService, PresentDevicesNameTheMouseIdentityInTheirHardwareIds) {
  MouseService service;
  const auto lines = Lines(service.Handle("devices").text);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "ok");
  EXPECT_EQ(lines[1], R"(USB\VID_3938&PID_1101&REV_0100 USB\VID_3938&PID_1101)");
  EXPECT_EQ(lines[3], R"(HID\VID_3938&PID_1101&REV_0100&Col02 HID\VID_3938&PID_1101&Col02 HID_DEVICE)");
  service.Handle("unplug");
  EXPECT_EQ(service.Handle("devices").text, "ok\n");
  EXPECT_EQ(service.Handle("log").text, "ok\ndevices 6\ndevices 0\n");
}

TEST(MouseService, TheSecondIdentityIsPresentedInPathsAndHardwareIds) {
  MouseService service(true, 0x1B80, 0xB412);
  EXPECT_EQ(Lines(service.Handle("list").text)[1].rfind(R"(\\.\pipe\qx27mouse.1.hid#vid_1b80&pid_b412&col01)", 0), 0u);
  EXPECT_EQ(Lines(service.Handle("devices").text)[1], R"(USB\VID_1B80&PID_B412&REV_0100 USB\VID_1B80&PID_B412)");
  EXPECT_EQ(service.Handle("attributes " + NameOf(service, 40)).text, "ok\n7040 46098\n");
}

TEST(MouseService, ReportIdsAreTakenInDecimalOrHex) {
  MouseService service;
  service.mouse().StoreReport(std::vector<std::uint8_t>{0x06, 0x5A});
  EXPECT_EQ(service.Handle("report 6").text, "ok\n06 5a\n");
  EXPECT_EQ(service.Handle("report 0x06").text, "ok\n06 5a\n");
  EXPECT_EQ(service.Handle("report 0x").text.rfind("error syntax", 0), 0u);
}

TEST(MouseService, AnUnpluggedMouseListsNothingAndAnswersNothing) {
  MouseService service;
  const std::string command = NameOf(service, 8);
  EXPECT_EQ(service.Handle("unplug").event, MouseService::Event::kUnplugged);
  EXPECT_EQ(service.Handle("list").text, "ok\n");
  EXPECT_EQ(service.Handle("caps " + command).text.rfind("error absent", 0), 0u);
  EXPECT_EQ(service.Handle("set " + command + " 06 5a 00 00 00 00 00 00").text.rfind("error absent", 0), 0u);
  EXPECT_EQ(service.Handle("unplug").event, MouseService::Event::kNone);
}

TEST(MouseService, CapsAndAttributesTellTheInterfacesApart) {
  MouseService service;
  EXPECT_EQ(service.Handle("caps " + NameOf(service, 40)).text, "ok\n0 40\n");
  EXPECT_EQ(service.Handle("caps " + NameOf(service, 2049)).text, "ok\n0 2049\n");
  EXPECT_EQ(service.Handle("caps " + NameOf(service, 0, 4)).text, "ok\n4 0\n");
  EXPECT_EQ(service.Handle("attributes " + NameOf(service, 8)).text, "ok\n14648 4353\n");
}

TEST(MouseService, AnAcceptedSetIsStoredLoggedAndReturnedOnGet) {
  MouseService service;
  const std::string command = NameOf(service, 8);
  EXPECT_EQ(service.Handle("set " + command + " 06 5a 00 00 00 00 00 00").text, "ok\n");
  EXPECT_EQ(service.Handle("report 6").text, "ok\n06 5a 00 00 00 00 00 00\n");
  EXPECT_EQ(service.Handle("log").text, "ok\nset accepted 06 5a 00 00 00 00 00 00\n");
  EXPECT_EQ(service.Handle("get " + command + " 06 00 00 00 00 00 00 00").text, "ok\n06 5a 00 00 00 00 00 00\n");
}

TEST(MouseService, SetsOfTheWrongLengthAndRefusedSetsFailAndAreLogged) {
  MouseService service;
  const std::string command = NameOf(service, 8);
  EXPECT_EQ(service.Handle("set " + command + " 06 5a").text.rfind("error length", 0), 0u);
  EXPECT_EQ(service.Handle("refuse-sets 1").text, "ok\n");
  EXPECT_EQ(service.Handle("set " + command + " 06 5a 00 00 00 00 00 00").text.rfind("error refused", 0), 0u);
  EXPECT_EQ(service.Handle("set " + command + " 06 5a 00 00 00 00 00 01").text, "ok\n");
  EXPECT_EQ(service.Handle("log").text,
            "ok\nset rejected 06 5a\nset refused 06 5a 00 00 00 00 00 00\nset accepted 06 5a 00 00 00 00 00 01\n");
  // A client that polls reads from where it stopped.
  EXPECT_EQ(service.Handle("log 2").text, "ok\nset accepted 06 5a 00 00 00 00 00 01\n");
  EXPECT_EQ(service.Handle("log 3").text, "ok\n");
  EXPECT_EQ(service.Handle("log -1").text.rfind("error syntax", 0), 0u);
}

TEST(MouseService, DumpShowsWhatTheMouseHoldsAndLoadReplacesIt) {
  MouseService service;
  auto lines = Lines(service.Handle("dump").text);
  ASSERT_EQ(lines.size(), 3u);
  std::string zeros_after_id;
  for (int i = 0; i < 39; ++i) zeros_after_id += " 00";
  EXPECT_EQ(lines[1], "perf 03" + zeros_after_id);
  EXPECT_EQ(lines[2].substr(0, 14), "buttons 04 00 ");
  EXPECT_EQ(lines[2].size(), 8u + 2049 * 3 - 1);

  std::vector<std::uint8_t> perf(kPerfLength, 0x11);
  perf[0] = 3;
  std::vector<std::uint8_t> buttons(kButtonsLength, 0x22);
  buttons[0] = 4;
  const std::string configuration = FormatConfiguration(perf, buttons);
  EXPECT_EQ(service.Handle("load\n" + configuration).text, "ok\n");
  EXPECT_EQ(service.Handle("dump").text, "ok\n" + configuration);

  std::vector<std::uint8_t> get(kPerfLength, 0);
  get[0] = 3;
  EXPECT_EQ(service.Handle("get " + NameOf(service, 40) + " " + HexBytes(get)).text, "ok\n" + HexBytes(perf) + "\n");
  EXPECT_EQ(service.Handle("load\nperf 03 00\n").text.rfind("error syntax", 0), 0u);
}

TEST(MouseService, NamesFromBeforeAnUnplugLeadNowhereAfterThePlug) {
  MouseService service;
  const std::string before = NameOf(service, 8);
  service.Handle("unplug");
  EXPECT_EQ(service.Handle("plug").event, MouseService::Event::kPlugged);
  const std::string after = NameOf(service, 8);
  EXPECT_NE(before, after);
  EXPECT_EQ(service.Handle("caps " + before).text.rfind("error absent", 0), 0u);
  EXPECT_EQ(service.Handle("caps " + after).text, "ok\n0 8\n");
  EXPECT_EQ(service.OpenConnection(before).handle, kInvalidHid);
}

TEST(MouseService, TheSystemPointerCollectionIsListedButCannotBeOpened) {
  MouseService service;
  int listed = 0;
  for (const auto& interface : service.PresentInterfaces()) {
    if (interface.can_open) continue;
    ++listed;
    EXPECT_EQ(service.OpenConnection(interface.pipe_name).handle, kInvalidHid);
  }
  EXPECT_EQ(listed, 1);
}

TEST(MouseService, ADpiReportReachesAnOpenEventsHandleOnly) {
  MouseService service;
  EXPECT_EQ(service.Handle("dpi 3").text.rfind("error unheard", 0), 0u);
  const auto events = service.OpenConnection(NameOf(service, 0, 4));
  ASSERT_NE(events.handle, kInvalidHid);
  EXPECT_TRUE(events.delivers_input);
  EXPECT_EQ(service.Handle("status").text, "ok\nplugged 1\nhandles 1\nevents-handles 1\n");

  std::uint8_t buffer[4] = {};
  auto read = service.bus().BeginRead(events.handle, buffer);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(service.Handle("dpi 3").text, "ok\n");
  EXPECT_EQ(read->Wait(), 4);
  EXPECT_EQ(HexBytes(buffer), "02 00 03 00");

  service.CloseConnection(events.handle);
  EXPECT_EQ(service.open_connections(), 0);
  EXPECT_EQ(service.Handle("dpi 256").text.rfind("error syntax", 0), 0u);
}

TEST(MouseService, ClosingAConnectionEndsAReadPendingOnIt) {
  MouseService service;
  const auto events = service.OpenConnection(NameOf(service, 0, 4));
  std::uint8_t buffer[4] = {};
  auto read = service.bus().BeginRead(events.handle, buffer);
  ASSERT_NE(read, nullptr);
  service.CloseConnection(events.handle);
  EXPECT_EQ(read->Wait(), 0);
}

// As the HID class driver does: every open handle gets its own copy of each
// report, and a report nobody has a handle open for, or one left unread in a
// handle that closes, is gone.
TEST(MouseService, EachConnectionHasAnInputQueueOfItsOwnThatEndsWithIt) {
  MouseService service;
  const std::uint8_t first[] = {0x02, 0x00, 0x05, 0x00};
  const std::uint8_t second[] = {0x02, 0x00, 0x06, 0x00};
  service.mouse().SendInput(first);
  EXPECT_EQ(service.mouse().queued_input(), 0) << "the service's own handles take no input";
  EXPECT_EQ(service.mouse().input_lost(), 1);

  const auto a = service.OpenConnection(NameOf(service, 0, 4));
  const auto b = service.OpenConnection(NameOf(service, 0, 4));
  service.mouse().SendInput(first);
  service.mouse().SendInput(second);
  EXPECT_EQ(service.mouse().queued_input(), 4);
  std::uint8_t buffer[4] = {};
  ASSERT_EQ(service.bus().BeginRead(a.handle, buffer)->Wait(), 4);
  EXPECT_EQ(buffer[2], 5);
  service.CloseConnection(a.handle);
  EXPECT_EQ(service.mouse().input_lost(), 2) << "the second report went with the first connection";
  ASSERT_EQ(service.bus().BeginRead(b.handle, buffer)->Wait(), 4);
  EXPECT_EQ(buffer[2], 5) << "the other connection has its own copy";
  ASSERT_EQ(service.bus().BeginRead(b.handle, buffer)->Wait(), 4);
  EXPECT_EQ(buffer[2], 6);

  const auto c = service.OpenConnection(NameOf(service, 0, 4));
  ASSERT_NE(c.handle, kInvalidHid);
  EXPECT_EQ(service.mouse().queued_input(), 0) << "a new connection starts empty";
}

TEST(MouseService, UnknownRequestsAreRefused) {
  MouseService service;
  EXPECT_EQ(service.Handle("reboot").text.rfind("error syntax", 0), 0u);
  EXPECT_EQ(service.Handle("quit").event, MouseService::Event::kQuit);
}

}  // namespace
}  // namespace qx27::sim
