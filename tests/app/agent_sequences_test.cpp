// The Agent window's behaviour over its life, on the Linux stand-ins with the
// simulated mouse: start-up, device and session events, requests from the
// companion UI and the mouse, the tray, and the end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/agent_window.h"
#include "interfaces/companion_ui.h"
#include "protocol/button_report.h"
#include "protocol/performance_report.h"
#include "settings/ini_file.h"
#include "settings/validation.h"
#include "support/stand_in_system.h"

namespace qx27 {
namespace {

using linux_host::PostedMessage;

constexpr std::uint32_t kPresenceTimer = 100002;

class AgentSequences : public ::testing::Test, protected test::StandInSystem {
 protected:
  AgentSequences() {
    clock.Set(5'000'000);
    modules.SetOwnFileName(ProgramPath(u"qx27agent.exe"));
  }

  // The agent cuts its folder at the last backslash, as on Windows; the INI
  // stand-in takes the backslash as a separator.
  std::filesystem::path program_folder() const { return app_data.Root() / "Program"; }
  std::u16string ProgramPath(std::u16string_view name) const {
    return FromUtf8(program_folder().string()) + u"\\" + std::u16string(name);
  }
  // The waits of the window's thread (the reader thread's are its own).
  std::vector<std::uint32_t> Waits() const { return clock.Sleeps(); }

  void Start() { ASSERT_EQ(agent.CreateAgentWindow(), 1); }
  LResult Send(std::uint32_t message, WParam wparam = 0, LParam lparam = 0) {
    return windows.Send(agent.handle(), message, wparam, lparam);
  }
  CIniFile SettingsFile() { return CIniFile(ini, FromUtf8(settings_file().string())); }
  std::int32_t Stored(std::u16string_view section, std::u16string_view key) {
    return SettingsFile().ReadInt(section, key, -999);
  }
  void StoreBeforeStart(std::u16string_view section, std::u16string_view key, std::int32_t value) {
    SettingsFile().WriteInt(section, key, value);
  }
  std::vector<PostedMessage> CompanionReceived() { return windows.ReceivedBy(companion_window); }
  int TrayAdds() const {
    int n = 0;
    for (const auto& call : shell.TrayCalls()) n += call.add ? 1 : 0;
    return n;
  }
  int TrayDeletes() const { return static_cast<int>(shell.TrayCalls().size()) - TrayAdds(); }
  int MouseReads() const { return mouse.gets(3); }
  ButtonEntry StoredButton(std::u16string_view section, int index) {
    ButtonEntry entry{};
    SettingsFile().ReadStruct(section, u"ButtonAssigned" + DecimalText(index), EntryBytes(entry));
    return entry;
  }
  void StoreButton(std::u16string_view section, int index, const ButtonEntry& entry) {
    SettingsFile().WriteStruct(section, u"ButtonAssigned" + DecimalText(index), EntryBytes(entry));
  }

  WindowHandle companion_window = windows.AddForeignWindow(u"VORN ELDAN QX27");
  CMyWnd agent{ports};
};

// ---- start-up ----

TEST_F(AgentSequences, StartWithTheMousePluggedStoresDeviceOneShowsTheIconAndAppliesThePointerSettings) {
  Start();
  EXPECT_EQ(Stored(u"Setting", u"Device"), 1);
  ASSERT_EQ(TrayAdds(), 1);
  const TrayIconData icon = shell.TrayCalls()[0].data;
  EXPECT_EQ(icon.cbSize, 952u);
  EXPECT_EQ(icon.window, agent.handle());
  EXPECT_EQ(icon.id, 128u);
  EXPECT_EQ(icon.flags, 7u);
  EXPECT_EQ(icon.callback_message, 0x0465u);
  EXPECT_NE(icon.icon, 0u);
  EXPECT_EQ(std::u16string(icon.tip), u"VORN ELDAN QX27");
  EXPECT_EQ(system_settings.DoubleClickTimes(), std::vector<std::uint32_t>{680});
  EXPECT_EQ(system_settings.SpiCalls().size(), 3u);
  EXPECT_EQ(debug.Lines().back(), u"OnCreate over");
  EXPECT_EQ(windows.ExStyle(agent.handle()), 0x80u) << "neither in the taskbar nor in Alt+Tab";
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0505, 0, 0}}));
}

TEST_F(AgentSequences, FirstStartCreatesTheSettingsFileWithSixDefaultProfiles) {
  Start();
  ASSERT_TRUE(std::filesystem::exists(settings_file()));
  EXPECT_EQ(Stored(u"Setting", u"Totle"), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Stored(u"Profile" + DecimalText(i) + u"Setting", u"Mouse_Speed"), 5);
  EXPECT_EQ(agent.settings_file_path(), FromUtf8(app_data.Root().string()) + u"\\VORN\\ELDAN QX27\\GamingMouse");
  EXPECT_EQ(agent.macro_file_path(), FromUtf8(app_data.Root().string()) + u"\\VORN\\ELDAN QX27\\BulletSetting");
}

TEST_F(AgentSequences, StartWithTheMouseUnpluggedStoresDeviceZeroAndTellsNobody) {
  mouse.Unplug();
  Start();
  EXPECT_EQ(Stored(u"Setting", u"Device"), 0);
  EXPECT_EQ(TrayAdds(), 0);
  EXPECT_TRUE(CompanionReceived().empty());
  EXPECT_EQ(system_settings.SpiCalls().size(), 3u) << "pointer settings apply whether or not the mouse was read";

  mouse.Plug();
  EXPECT_EQ(Send(msg::kDeviceChange, 0x8000), 1);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 1);
  EXPECT_EQ(TrayAdds(), 1);
}

TEST_F(AgentSequences, FirstReadIsMadeEvenWithinASecondOfTheSystemStarting) {
  clock.Set(400);
  Start();
  EXPECT_EQ(MouseReads(), 1);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 1);
}

TEST_F(AgentSequences, ShowTrayIconZeroKeepsTheIconHiddenThroughEveryTrigger) {
  StoreBeforeStart(u"Setting", u"Show_TrayIcon", 0);
  Start();
  clock.Advance(5000);
  Send(msg::kDeviceChange);
  Send(companion::kApplyRequest);
  Send(msg::kSessionChange, 8);
  EXPECT_EQ(TrayAdds(), 0);
}

TEST_F(AgentSequences, AppDataFolderTooLongForTheFilePathsLeavesThemEmptyAndWritesNothing) {
  shell.SetAppDataFolder(u"/tmp/" + std::u16string(240, u'x'));
  Start();
  EXPECT_EQ(agent.settings_file_path(), u"");
  EXPECT_EQ(agent.macro_file_path(), u"");
  EXPECT_EQ(agent.working_profile().Mouse_Speed, 5) << "the agent runs on the defaults";
  EXPECT_EQ(TrayAdds(), 1);
}

// ---- device events ----

TEST_F(AgentSequences, UnpluggingTellsTheCompanionRemovesTheIconAndKeepsDeviceOne) {
  Start();
  mouse.Unplug();
  clock.Advance(2000);
  windows.ClearReceived();
  EXPECT_EQ(Send(msg::kDeviceChange, 0x8004), 1);
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0915, 0x0917, 0}}));
  EXPECT_EQ(TrayDeletes(), 1);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 1);
  clock.Advance(2000);
  Send(msg::kDeviceChange);
  EXPECT_EQ(CompanionReceived().size(), 2u) << "each failed read tells the companion again";
  EXPECT_EQ(TrayDeletes(), 1);
}

TEST_F(AgentSequences, DeviceEventsWithinASecondOfTheLastReadAreServedByIt) {
  Start();
  clock.Advance(2000);
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 2);
  clock.Advance(400);
  windows.ClearReceived();
  EXPECT_EQ(Send(msg::kDeviceChange), 1);
  EXPECT_EQ(MouseReads(), 2) << "no I/O";
  EXPECT_TRUE(CompanionReceived().empty()) << "no post";
  clock.Advance(700);
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 3);
}

TEST_F(AgentSequences, ADeviceEvent999MsAfterTheLastReadIsServedByItAndOneAt1000MsReadsTheMouse) {
  Start();
  clock.Advance(999);
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 1);
  clock.Advance(1);
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 2);
}

// Records, for the window's thread, each wait with how many Performance and
// Button reports the mouse had given by then.
class ClockWatchingTheMouse final : public ClockPort {
 public:
  struct Wait {
    std::uint32_t milliseconds;
    int performance_reads;
    int button_reads;
    bool operator==(const Wait&) const = default;
  };
  ClockWatchingTheMouse(linux_host::VirtualClock& clock, sim::SimDevice& mouse) : clock_(clock), mouse_(mouse) {}
  std::uint32_t TickCount() override { return clock_.TickCount(); }
  void Sleep(std::uint32_t milliseconds) override {
    if (std::this_thread::get_id() == window_thread_) waits.push_back({milliseconds, mouse_.gets(3), mouse_.gets(4)});
    clock_.Sleep(milliseconds);
  }
  std::vector<Wait> waits;

 private:
  linux_host::VirtualClock& clock_;
  sim::SimDevice& mouse_;
  std::thread::id window_thread_ = std::this_thread::get_id();
};

TEST_F(AgentSequences, ASuccessfulReadWaits300MsBetweenThePerformanceAndTheButtonReport) {
  ClockWatchingTheMouse watching(clock, mouse);
  const Ports watched_ports{bus, windows, ini, system_settings, shell, watching, debug, modules};
  CMyWnd watched{watched_ports};
  ASSERT_EQ(watched.CreateAgentWindow(), 1);
  using Wait = ClockWatchingTheMouse::Wait;
  EXPECT_EQ(watching.waits, (std::vector<Wait>{{300, 1, 0}})) << "the read at start-up";
  clock.Advance(2000);
  windows.Send(watched.handle(), msg::kDeviceChange);
  EXPECT_EQ(mouse.gets(4), 2);
  EXPECT_EQ(watching.waits, (std::vector<Wait>{{300, 1, 0}, {300, 2, 1}}));
}

TEST_F(AgentSequences, TheRepeatGuardSurvivesTheTickCountWrapping) {
  clock.Set(0xFFFFFF00u);
  Start();
  clock.Advance(0x200);  // wrapped: 0x100
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 1) << "512 ms after the last read";
  clock.Advance(1000);
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 2);
}

TEST_F(AgentSequences, ReadSavesTheMousesConfigurationUnderCurrentNotActive) {
  StoreBeforeStart(u"Setting", u"Current", 2);
  StoreBeforeStart(u"Profile0Setting", u"Mouse_Speed", 9);
  PerformanceReport on_mouse = EncodePerformanceReport(agent.working_profile());
  on_mouse[2] = 1;   // polling rate
  on_mouse[37] = 3;  // lift-off
  mouse.StoreReport(on_mouse);
  Start();
  EXPECT_EQ(Stored(u"Profile2Setting", u"POLLRATE_VALUE"), 1);
  EXPECT_EQ(Stored(u"Profile2Setting", u"lift_height"), 3);
  EXPECT_EQ(Stored(u"Profile2Setting", u"Mouse_Speed"), 9) << "fields the mouse does not hold come from the profile";
  EXPECT_EQ(Stored(u"Profile0Setting", u"POLLRATE_VALUE"), -999);
}

TEST_F(AgentSequences, RefusedButtonReportFailsTheReadAndChangesNoFile) {
  Start();
  const std::string before = test::ReadBytes(settings_file());
  mouse.RefuseNextGetsOf(4, 1);
  clock.Advance(2000);
  windows.ClearReceived();
  Send(msg::kDeviceChange);
  EXPECT_EQ(test::ReadBytes(settings_file()), before);
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0915, 0x0917, 0}}));
  EXPECT_FALSE(std::filesystem::exists(macro_file()));
  EXPECT_EQ(Waits().back(), 300u) << "the pause between the two reports was kept";
}

TEST_F(AgentSequences, ABulletMacroOnTheMouseThatDiffersFromTheFileGoesToTheMacroFile) {
  ProfileRecord on_mouse = agent.working_profile();
  ButtonEntry& bullet = on_mouse.ButtonAssigned[2];
  bullet = ButtonEntry{};
  bullet.FuncCode = 0xA7;
  const std::uint8_t codes[] = {4, 0xFF, 4, 0xFF, 12};
  const std::uint16_t values[] = {1, 20, 0, 20, 0x3405};
  for (int i = 0; i < 5; ++i) {
    bullet.Steps[i].StepCode = codes[i];
    bullet.Steps[i].StepValue = values[i];
  }
  mouse.StoreReport(EncodeButtonReport(on_mouse));
  Start();
  const CIniFile macros(ini, FromUtf8(macro_file().string()));
  EXPECT_EQ(macros.ReadInt(u"BulletProfile2", u"BulletNum", -1), 1);
  std::uint8_t stored[368] = {};
  EXPECT_TRUE(macros.ReadStruct(u"BulletProfile2", u"Macro", stored));
  EXPECT_EQ(stored[0], 4);
  EXPECT_EQ(agent.working_profile().ButtonAssigned[2].FuncCode, 0xA7);
  EXPECT_EQ(agent.working_profile().ButtonAssigned[2].ButtonNo, 3);
}

// ---- session events ----

TEST_F(AgentSequences, LockHidesTheMouseUntilUnlockReadsItAgain) {
  Start();
  EXPECT_EQ(Send(msg::kSessionChange, 7), 0);
  EXPECT_EQ(TrayDeletes(), 1);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 0);
  EXPECT_EQ(agent.session_away(), 1);
  clock.Advance(5000);
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 1) << "device events are ignored while away";
  EXPECT_EQ(Send(msg::kSessionChange, 8), 0);
  EXPECT_EQ(MouseReads(), 2);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 1);
  EXPECT_EQ(TrayAdds(), 2);
}

TEST_F(AgentSequences, FailedResumeOnlyTellsTheCompanion) {
  Start();
  Send(msg::kSessionChange, 2);
  mouse.Unplug();
  clock.Advance(5000);
  windows.ClearReceived();
  Send(msg::kSessionChange, 1);
  EXPECT_EQ(agent.session_away(), 0);
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0915, 0x0917, 0}}));
  EXPECT_EQ(Stored(u"Setting", u"Device"), 0);
  EXPECT_EQ(TrayAdds(), 1);
}

TEST_F(AgentSequences, OtherSessionEventsAndLockOnOldSystemsChangeNothing) {
  Start();
  for (WParam code : {3, 4, 5, 6, 9, 0}) Send(msg::kSessionChange, code);
  windows.SetSystemMajorVersion(5);
  Send(msg::kSessionChange, 7);
  EXPECT_EQ(agent.session_away(), 0);
  EXPECT_EQ(TrayDeletes(), 0);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 1);
  Send(msg::kSessionChange, 2);
  EXPECT_EQ(agent.session_away(), 1) << "console disconnect counts on every system";
}

// ---- requests ----

TEST_F(AgentSequences, DpiPressIsStoredUnderActiveAndReportedAsStageMinusOne) {
  StoreBeforeStart(u"Setting", u"Active", 2);
  Start();
  windows.ClearReceived();
  EXPECT_EQ(Send(0x0500, 3), 1);
  EXPECT_EQ(agent.working_profile().DPI_Cur, 3);
  EXPECT_EQ(Stored(u"Profile2Setting", u"DPI_Cur"), 3);
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0506, 2, 2}}));
  windows.ClearReceived();
  Send(0x0500, 1);
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0506, 2, 0}}));
}

TEST_F(AgentSequences, DpiPressFromTheMouseReachesTheCompanionThroughTheReaderThread) {
  Start();
  windows.ClearReceived();
  const std::uint8_t press[] = {2, 0, 4, 0};
  mouse.SendInput(press);
  ASSERT_EQ(windows.PumpUntil(1, 5000), 1);
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0506, 0, 3}}));
  EXPECT_EQ(Stored(u"Profile0Setting", u"DPI_Cur"), 4);
}

TEST_F(AgentSequences, ApplyUploadsTheReloadedProfileAndShowsTheIcon) {
  mouse.Unplug();
  Start();
  mouse.Plug();
  StoreBeforeStart(u"Profile0Setting", u"POLLRATE_VALUE", 3);
  StoreBeforeStart(u"Profile0Setting", u"DBClick_Speed", 10);
  clock.ClearSleeps();
  EXPECT_EQ(Send(companion::kApplyRequest), 0);
  const PerformanceReport expected = EncodePerformanceReport(agent.working_profile());
  EXPECT_EQ(mouse.StoredReport(3), std::vector<std::uint8_t>(expected.begin(), expected.end()));
  EXPECT_EQ(mouse.StoredReport(3).at(2), 3);
  EXPECT_EQ(mouse.StoredReport(4).size(), 2049u);
  EXPECT_EQ(Waits(), std::vector<std::uint32_t>{300});
  EXPECT_EQ(system_settings.DoubleClickTimes().back(), 200u);
  EXPECT_EQ(TrayAdds(), 1);
}

TEST_F(AgentSequences, ApplyWithTheMouseUnpluggedStillAppliesThePointerSettingsAndLeavesTheIcon) {
  Start();
  mouse.Unplug();
  clock.ClearSleeps();
  EXPECT_EQ(Send(companion::kApplyRequest), 0);
  EXPECT_EQ(system_settings.SpiCalls().size(), 6u);
  EXPECT_TRUE(Waits().empty()) << "no interface: failure at once, no wait";
  EXPECT_EQ(TrayAdds(), 1);
  EXPECT_EQ(TrayDeletes(), 0);
}

TEST_F(AgentSequences, ApplyWithShowTrayIconZeroRemovesTheIconWhateverTheUpload) {
  Start();
  StoreBeforeStart(u"Setting", u"Show_TrayIcon", 0);
  Send(companion::kApplyRequest);
  EXPECT_EQ(TrayDeletes(), 1);
}

TEST_F(AgentSequences, PerformanceReportRefusedTwiceIsRetriedWithAPauseAfterEachAttempt) {
  Start();
  mouse.RefuseNextSetsOf(3, 2);
  clock.ClearSleeps();
  Send(companion::kApplyRequest);
  EXPECT_EQ(Waits(), (std::vector<std::uint32_t>{300, 300, 300}));
  EXPECT_EQ(mouse.sets_accepted(3), 1);
  EXPECT_EQ(mouse.sets_accepted(4), 1);
}

TEST_F(AgentSequences, PerformanceReportRefusedFiveTimesFailsWithoutTheButtonReport) {
  mouse.Unplug();
  Start();
  mouse.Plug();
  mouse.RefuseNextSetsOf(3, 5);
  clock.ClearSleeps();
  Send(companion::kApplyRequest);
  EXPECT_EQ(Waits(), (std::vector<std::uint32_t>{300, 300, 300, 300, 300}));
  EXPECT_EQ(mouse.sets_refused(3), 5);
  EXPECT_EQ(mouse.sets_accepted(4), 0);
  EXPECT_EQ(agent.hid_link().feature_handle(), kInvalidHid);
  EXPECT_EQ(TrayAdds(), 0) << "a failed upload does not show the icon";
}

TEST_F(AgentSequences, RefusedButtonReportFailsTheUploadAfterOneAttempt) {
  Start();
  mouse.RefuseNextSetsOf(4, 1);
  Send(companion::kApplyRequest);
  EXPECT_EQ(mouse.sets_refused(4), 1);
  EXPECT_EQ(mouse.sets_accepted(4), 0);
  EXPECT_EQ(agent.hid_link().feature_handle(), kInvalidHid);
}

TEST_F(AgentSequences, UploadThenReadBackGivesTheProfileBack) {
  Start();
  Send(companion::kApplyRequest);
  const ProfileRecord sent = agent.working_profile();
  clock.Advance(5000);
  Send(msg::kDeviceChange);
  const ProfileRecord& back = agent.working_profile();
  EXPECT_EQ(back.POLLRATE_VALUE, sent.POLLRATE_VALUE);
  EXPECT_EQ(back.light_speed, sent.light_speed);
  EXPECT_EQ(0, std::memcmp(back.DPI_Color, sent.DPI_Color, sizeof(sent.DPI_Color)));
  for (int b = 0; b < 8; ++b) EXPECT_EQ(back.ButtonAssigned[b].FuncCode, sent.ButtonAssigned[b].FuncCode) << b;
  EXPECT_EQ(back.ButtonAssigned[8].FuncCode, 0xA1) << "button 9 always travels as the right button";
}

// A general macro of `taps` taps of key 0x14: a press and a release, one record each.
ButtonEntry KeyTaps(int button_index, int taps, std::int32_t macro_id) {
  ButtonEntry entry{};
  entry.ButtonNo = static_cast<std::uint8_t>(button_index + 1);
  entry.FuncCode = 0xA6;
  for (int i = 0; i < 2 * taps; ++i) {
    entry.Steps[i].StepCode = 0x14;
    entry.Steps[i].StepValue = i % 2 == 0 ? 1 : 0;
  }
  entry.StepCount = static_cast<std::uint8_t>(2 * taps);
  entry.MacroID = macro_id;
  return entry;
}

TEST_F(AgentSequences, AMacroTheMouseHasNoRoomForStaysInTheFileThroughReadBacksAndARestart) {
  mouse.Unplug();
  Start();
  // 92 + 92 + 16 records, and one kept for button 9: one more than the area holds.
  const ButtonEntry too_many = KeyTaps(2, 8, 33);
  StoreButton(u"Profile0Setting", 0, KeyTaps(0, 46, 31));
  StoreButton(u"Profile0Setting", 1, KeyTaps(1, 46, 32));
  StoreButton(u"Profile0Setting", 2, too_many);
  mouse.Plug();
  Send(companion::kApplyRequest);
  const std::vector<std::uint8_t> sent = mouse.StoredReport(4);
  ASSERT_EQ(sent.size(), 2049u);
  EXPECT_EQ(sent[5] | sent[6] << 8, 0xFFFF) << "the third button's macro is left out whole";
  EXPECT_EQ(sent[7] | sent[8] << 8, 48 + 1840) << "the fourth button still goes";
  EXPECT_EQ(TrayAdds(), 1) << "the upload succeeded";

  clock.Advance(2000);
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 1);
  const ButtonEntry kept = StoredButton(u"Profile0Setting", 2);
  EXPECT_EQ(std::memcmp(&kept, &too_many, sizeof kept), 0) << "the read-back keeps the stored macro";
  EXPECT_EQ(StoredButton(u"Profile0Setting", 1).MacroID, 32);
  EXPECT_EQ(Stored(u"Profile0Setting", u"DPI_Cur"), 0);

  // A new agent knows nothing of past uploads; its first read keeps the macro all the same.
  Send(msg::kClose);
  CMyWnd restarted{ports};
  clock.Advance(2000);
  ASSERT_EQ(restarted.CreateAgentWindow(), 1);
  EXPECT_EQ(MouseReads(), 2);
  const ButtonEntry after_restart = StoredButton(u"Profile0Setting", 2);
  EXPECT_EQ(std::memcmp(&after_restart, &too_many, sizeof after_restart), 0);
  EXPECT_EQ(restarted.working_profile().ButtonAssigned[2].StepCount, 16);
}

// The read-back compares with the stored profile of slot Active, the one the
// mouse was given, and saves under Current.
TEST_F(AgentSequences, AMacroReadBackKeepsTheIdentifierOfTheActiveSlotAndIsSavedUnderCurrent) {
  mouse.Unplug();
  Start();
  StoreBeforeStart(u"Setting", u"Active", 1);
  StoreBeforeStart(u"Setting", u"Current", 2);
  StoreButton(u"Profile1Setting", 2, KeyTaps(2, 3, 17));
  StoreButton(u"Profile2Setting", 2, KeyTaps(2, 3, 99));
  mouse.Plug();
  Send(companion::kApplyRequest);
  clock.Advance(2000);
  Send(msg::kDeviceChange);
  EXPECT_EQ(StoredButton(u"Profile2Setting", 2).MacroID, 17);
  EXPECT_EQ(StoredButton(u"Profile2Setting", 2).StepCount, 6);
  EXPECT_EQ(StoredButton(u"Profile1Setting", 2).MacroID, 17) << "the Active slot's section is not written";
}

// The simulated bus with a hook at the start of each interface search, when
// the previous events handle is closed and no new one open yet, and one after
// each feature report the mouse took.
class HookedBus final : public HidPort {
 public:
  explicit HookedBus(sim::SimHidBus& bus) : bus_(bus) {}
  std::function<void(int search)> before_search;  // searches counted from 1
  std::function<void(std::uint8_t report_id)> after_set;

  std::vector<std::u16string> EnumerateInterfaces() override {
    if (before_search) before_search(++searches_);
    return bus_.EnumerateInterfaces();
  }
  HidHandle Open(std::u16string_view path) override { return bus_.Open(path); }
  bool GetCaps(HidHandle handle, HidCaps& caps) override { return bus_.GetCaps(handle, caps); }
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    return bus_.GetAttributes(handle, attributes);
  }
  bool SetFeature(HidHandle handle, std::span<const std::uint8_t> report) override {
    const bool taken = bus_.SetFeature(handle, report);
    if (taken && after_set) after_set(report[0]);
    return taken;
  }
  bool GetFeature(HidHandle handle, std::span<std::uint8_t> report) override { return bus_.GetFeature(handle, report); }
  std::unique_ptr<PendingRead> BeginRead(HidHandle handle, std::span<std::uint8_t> buffer) override {
    return bus_.BeginRead(handle, buffer);
  }
  void Close(HidHandle handle) override { bus_.Close(handle); }

 private:
  sim::SimHidBus& bus_;
  int searches_ = 0;
};

// An apply searches for the mouse twice, each time closing the events handle
// before it opens a new one; the system drops a report that comes meanwhile.
TEST_F(AgentSequences, ADpiPressDuringAnApplysSecondSearchIsLostUntilTheNextReadBack) {
  HookedBus hooked(bus);
  const Ports hooked_ports{hooked, windows, ini, system_settings, shell, clock, debug, modules};
  CMyWnd watched{hooked_ports};
  ASSERT_EQ(watched.CreateAgentWindow(), 1);
  ASSERT_EQ(Stored(u"Profile0Setting", u"DPI_Cur"), 0);
  const auto press_at = [&](int wanted_search, std::uint8_t stage) {
    hooked.before_search = [&, wanted_search, stage, search_base = -1](int search) mutable {
      if (search_base < 0) search_base = search - 1;
      if (search - search_base == wanted_search) mouse.PressDpiButton(stage);
    };
  };
  const auto dpi_messages = [&] { return windows.PumpPending(); };

  // In the first search, before the Performance report: lost, and the report
  // then puts the stored stage back on the mouse. Mouse, file and companion agree.
  windows.ClearReceived();
  press_at(1, 3);
  windows.Send(watched.handle(), companion::kApplyRequest);
  EXPECT_EQ(mouse.input_lost(), 1);
  EXPECT_EQ(dpi_messages(), 0);
  EXPECT_EQ(mouse.StoredReport(3).at(1), 0);
  EXPECT_EQ(Stored(u"Profile0Setting", u"DPI_Cur"), 0);

  // In the second search, after the Performance report: lost. The mouse is at
  // stage 4; the file and the companion UI stay at the old stage.
  press_at(2, 4);
  windows.Send(watched.handle(), companion::kApplyRequest);
  EXPECT_EQ(mouse.input_lost(), 2);
  EXPECT_EQ(dpi_messages(), 0);
  EXPECT_EQ(mouse.StoredReport(3).at(1), 4);
  EXPECT_EQ(Stored(u"Profile0Setting", u"DPI_Cur"), 0);
  EXPECT_TRUE(CompanionReceived().empty()) << "the companion UI hears nothing of it";

  // The next read-back repairs the file and tells the companion UI.
  hooked.before_search = nullptr;
  clock.Advance(2000);
  windows.Send(watched.handle(), msg::kDeviceChange);
  EXPECT_EQ(Stored(u"Profile0Setting", u"DPI_Cur"), 4);
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0505, 0, 0}}));

  // Between the two searches the events handle is open: the press arrives.
  windows.ClearReceived();
  hooked.after_set = [&](std::uint8_t report_id) {
    if (report_id != 3) return;
    mouse.PressDpiButton(5);
    // The pause after the Performance report gives the reader its time.
    for (int i = 0; i < 5000 && mouse.queued_input() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  windows.Send(watched.handle(), companion::kApplyRequest);
  ASSERT_EQ(windows.PumpUntil(1, 5000), 1);
  EXPECT_EQ(mouse.input_lost(), 2);
  EXPECT_EQ(Stored(u"Profile0Setting", u"DPI_Cur"), 5);
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0506, 0, 4}}));
}

// ---- presence check ----

TEST_F(AgentSequences, PresenceCheckStoresTheProbesAnswerAndFollowsItWithTheIcon) {
  int answer = 0;
  modules.AddLibrary(ProgramPath(u"Idwatch.dll"), "IdwatchProbe", [&](std::int32_t, std::int32_t) { return answer; });
  Start();
  Send(msg::kTimer, kPresenceTimer);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 0);
  EXPECT_EQ(TrayDeletes(), 1);
  answer = 2;
  Send(msg::kTimer, kPresenceTimer);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 2);
  EXPECT_EQ(TrayAdds(), 2);
}

TEST_F(AgentSequences, OtherTimersNeitherProbeNorWrite) {
  Start();
  StoreBeforeStart(u"Setting", u"Device", 7);
  Send(msg::kTimer, 100001);
  EXPECT_EQ(Stored(u"Setting", u"Device"), 7);
  EXPECT_TRUE(modules.LoadAttempts().empty());
}

// ---- tray ----

TEST_F(AgentSequences, RightClickShowsTheMenuInTheLanguageOfTheFileNow) {
  // The skin files as they ship, beside the agent.
  std::filesystem::create_directories(program_folder() / "Lan");
  for (const char* skin : {"skin_En.ini", "skin_Cs.ini"}) {
    std::filesystem::copy_file(std::filesystem::path(QX27_SOURCE_DIR) / "res" / "Lan" / skin,
                               program_folder() / "Lan" / skin);
  }
  Start();
  EXPECT_EQ(Send(0x0465, 128, 0x0204), 0);
  StoreBeforeStart(u"Setting", u"lan_id", 0);
  Send(0x0465, 128, 0x0204);
  std::filesystem::remove(program_folder() / "Lan" / "skin_Cs.ini");
  Send(0x0465, 128, 0x0204);

  const auto menus = shell.MenusShown();
  ASSERT_EQ(menus.size(), 3u);
  EXPECT_EQ(menus[0].items[0].id, 6001u);
  EXPECT_EQ(menus[0].items[0].text, u"Open VORN ELDAN QX27 settings");
  EXPECT_EQ(menus[0].items[1].id, 6002u);
  EXPECT_EQ(menus[0].items[1].text, u"Hide this icon");
  EXPECT_EQ(menus[1].items[0].text, u"Otevřít nastavení VORN ELDAN QX27") << "Czech letters survive the INI service";
  EXPECT_EQ(menus[1].items[1].text, u"Skrýt tuto ikonu");
  ASSERT_EQ(menus[2].items.size(), 2u) << "a missing skin file still gives both items";
  EXPECT_EQ(menus[2].items[0].text, u"");
  EXPECT_EQ(menus[0].owner, agent.handle());
  EXPECT_EQ(menus[0].flags, 0u);
  EXPECT_EQ(menus[0].x, 640);
  EXPECT_EQ(shell.ForegroundRequests(), std::vector<WindowHandle>(3, agent.handle()));
  EXPECT_EQ(shell.live_menus(), 0);
  EXPECT_EQ(windows.PumpPending(), 3) << "a WM_NULL follows each menu";
}

TEST_F(AgentSequences, DoubleClickOpensTheCompanionOnlyWhenItIsNotRunning) {
  Start();
  Send(0x0465, 128, 0x0203);
  EXPECT_TRUE(shell.Launches().empty());
  windows.RemoveForeignWindow(companion_window);
  Send(0x0465, 128, 0x0203);
  ASSERT_EQ(shell.Launches().size(), 1u);
  EXPECT_EQ(shell.Launches()[0].path, ProgramPath(u"Mantle.exe"));
  for (LParam other : {0x0201, 0x0202, 0x0205, 0x0200}) Send(0x0465, 128, other);
  EXPECT_EQ(shell.Launches().size(), 1u);
  EXPECT_TRUE(shell.MenusShown().empty());
}

TEST_F(AgentSequences, HideCommandRemovesTheIconUntilTheNextSuccessfulRead) {
  Start();
  Send(msg::kCommand, 6002);
  EXPECT_EQ(TrayDeletes(), 1);
  EXPECT_TRUE(windows.Exists(agent.handle())) << "the agent keeps running";
  Send(msg::kCommand, 6002);
  EXPECT_EQ(TrayDeletes(), 1) << "no shell call while hidden";
  clock.Advance(2000);
  Send(msg::kDeviceChange);
  EXPECT_EQ(TrayAdds(), 2);
}

TEST_F(AgentSequences, AShownIconIsAddedAgainWhenTheShellHasRestarted) {
  Start();
  const std::uint32_t taskbar_created = windows.NamedMessage(u"TaskbarCreated");
  ASSERT_NE(taskbar_created, 0u) << "the shell's message is registered at start-up";
  EXPECT_EQ(Send(taskbar_created), 0);
  EXPECT_EQ(TrayAdds(), 2);
  EXPECT_TRUE(agent.tray_icon().shown());
  Send(msg::kCommand, 6002);
  Send(taskbar_created);
  EXPECT_EQ(TrayAdds(), 2) << "a hidden icon stays hidden";
  EXPECT_FALSE(agent.tray_icon().shown());
  EXPECT_EQ(windows.named_message_registrations(), 1);
}

TEST_F(AgentSequences, ASecondSuccessfulReadWhileTheIconIsShownAsksTheShellNoSecondTime) {
  Start();
  ASSERT_EQ(TrayAdds(), 1);
  clock.Advance(2000);
  Send(msg::kDeviceChange);
  EXPECT_EQ(MouseReads(), 2);
  EXPECT_EQ(TrayAdds(), 1);
}

TEST_F(AgentSequences, OpenCommandStartsTheCompanion) {
  windows.RemoveForeignWindow(companion_window);
  Start();
  Send(msg::kCommand, 6001);
  EXPECT_EQ(shell.Launches().size(), 1u);
}

// ---- the end ----

TEST_F(AgentSequences, CloseSendsTheExitNoticeInOrderRemovesTheIconAndLeavesTheFile) {
  const WindowHandle osd = windows.AddForeignWindow(u"OSDMain");
  Start();
  const auto modified = std::filesystem::last_write_time(settings_file());
  const std::string before = test::ReadBytes(settings_file());
  windows.ClearReceived();
  Send(msg::kClose);
  EXPECT_FALSE(windows.Exists(agent.handle()));
  EXPECT_EQ(CompanionReceived(), (std::vector<PostedMessage>{{companion_window, 0x0111, 0xFFFFFFFFu, 0}}));
  EXPECT_EQ(windows.ReceivedBy(osd), (std::vector<PostedMessage>{{osd, 0x0002, 0, 0}, {osd, 0x0010, 0, 0}}));
  EXPECT_EQ(TrayDeletes(), 1);
  EXPECT_EQ(test::ReadBytes(settings_file()), before);
  EXPECT_EQ(std::filesystem::last_write_time(settings_file()), modified);
}

}  // namespace
}  // namespace qx27
