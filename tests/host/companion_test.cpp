#include "host/companion.h"

#include <gtest/gtest.h>

#include "host/tray_icon.h"
#include "support/stand_in_system.h"

namespace qx27 {
namespace {

using linux_host::PostedMessage;

class CompanionTest : public ::testing::Test, protected test::StandInSystem {
 protected:
  void InstallPresenceDll(std::int32_t answer) {
    modules.AddLibrary(u"C:\\Agent\\Idwatch.dll", "IdwatchProbe", [this, answer](std::int32_t pid, std::int32_t vid) {
      probe_arguments.emplace_back(pid, vid);
      return answer;
    });
  }
  CompanionTest() { modules.SetOwnFileName(u"C:\\Agent\\qx27agent.exe"); }
  std::vector<std::pair<std::int32_t, std::int32_t>> probe_arguments;
};

TEST_F(CompanionTest, LaunchStartsMantleFromTheAgentFolderWithTheDefaultShowState) {
  LaunchCompanionUI(ports);
  ASSERT_EQ(shell.Launches().size(), 1u);
  EXPECT_EQ(shell.Launches()[0].path, u"C:\\Agent\\Mantle.exe");
  EXPECT_EQ(shell.Launches()[0].show_command, 10);
}

TEST_F(CompanionTest, LaunchDoesNothingWhileTheCompanionWindowExists) {
  windows.AddForeignWindow(u"VORN ELDAN QX27");
  LaunchCompanionUI(ports);
  EXPECT_TRUE(shell.Launches().empty());
}

TEST_F(CompanionTest, AgentInADriveRootLooksNextToItWithOneBackslash) {
  modules.SetOwnFileName(u"D:\\qx27agent.exe");
  LaunchCompanionUI(ports);
  ASSERT_EQ(shell.Launches().size(), 1u);
  EXPECT_EQ(shell.Launches()[0].path, u"D:\\Mantle.exe");
}

TEST_F(CompanionTest, CompanionPathThatWouldNotFitIsNotStartedUnderACutName) {
  modules.SetOwnFileName(u"C:\\" + std::u16string(250, u'd') + u"\\qx27agent.exe");
  LaunchCompanionUI(ports);
  EXPECT_TRUE(shell.Launches().empty());
}

TEST_F(CompanionTest, AModuleNameTooLongForItsBufferGivesNoAgentFolder) {
  // Cut to 259 units, the name's last backslash is that of "C:\Short".
  modules.SetOwnFileName(u"C:\\Short\\" + std::u16string(255, u'd') + u"\\qx27agent.exe");
  modules.AddLibrary(u"C:\\Short\\Idwatch.dll", "IdwatchProbe", [](std::int32_t, std::int32_t) { return 1; });
  std::array<char16_t, kPathUnits> folder{};
  EXPECT_FALSE(AgentFolder(modules, folder));
  EXPECT_EQ(FieldText(folder), u"");
  LaunchCompanionUI(ports);
  EXPECT_TRUE(shell.Launches().empty());
  EXPECT_EQ(ProbeDevicePresence(ports), 0);
  EXPECT_TRUE(modules.LoadAttempts().empty());
  std::array<char16_t, kPathUnits> skin{};
  EXPECT_FALSE(SkinFilePath(modules, 1, skin));
  EXPECT_EQ(FieldText(skin), u"");

  // A name of 259 units still fits.
  modules.SetOwnFileName(u"C:\\Short\\" + std::u16string(236, u'd') + u"\\qx27agent.exe");
  EXPECT_TRUE(AgentFolder(modules, folder));
  EXPECT_EQ(FieldText(folder), u"C:\\Short\\" + std::u16string(236, u'd'));
}

TEST_F(CompanionTest, ProbePassesProductIdThenVendorIdAndGivesTheAnswer) {
  InstallPresenceDll(2);
  EXPECT_EQ(ProbeDevicePresence(ports), 2);
  EXPECT_EQ(probe_arguments, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0xB412, 0x1B80}}));
  EXPECT_EQ(modules.LoadAttempts(), std::vector<std::u16string>{u"C:\\Agent\\Idwatch.dll"});
  EXPECT_EQ(modules.loaded_now(), 0) << "nothing of the DLL stays loaded between probes";
}

TEST_F(CompanionTest, ProbeGivesZeroWithoutTheDllOrItsExport) {
  EXPECT_EQ(ProbeDevicePresence(ports), 0);
  modules.AddLibrary(u"C:\\Agent\\Idwatch.dll", "", nullptr);
  EXPECT_EQ(ProbeDevicePresence(ports), 0);
  EXPECT_EQ(modules.loaded_now(), 0);
}

TEST_F(CompanionTest, ExitNoticeReachesTheCompanionBeforeTheOsdGetsDestroyThenClose) {
  const WindowHandle companion_window = windows.AddForeignWindow(u"VORN ELDAN QX27");
  const WindowHandle osd = windows.AddForeignWindow(u"OSDMain");
  PostExitNotice(windows);
  EXPECT_EQ(windows.ReceivedBy(companion_window),
            (std::vector<PostedMessage>{{companion_window, 0x0111, 0xFFFFFFFFu, 0}}));
  EXPECT_EQ(windows.ReceivedBy(osd), (std::vector<PostedMessage>{{osd, 0x0002, 0, 0}, {osd, 0x0010, 0, 0}}));
}

}  // namespace
}  // namespace qx27
