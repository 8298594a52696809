#include "platform/linux/session/session_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/linux/session/instance_lock.h"
#include "support/temp_folder.h"

namespace qx27::session {
namespace {

Environment With(std::map<std::string, std::string> variables, std::optional<std::string> passwd_home = "/home/pw") {
  Environment env;
  env.variable = [variables](const char* name) -> std::optional<std::string> {
    const auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  };
  env.passwd_home = [passwd_home] { return passwd_home; };
  env.uid = 1234;
  return env;
}

TEST(XdgPaths, TheConfigurationHomeIsAnAbsoluteXdgConfigHomeOrElseHomeDotConfig) {
  EXPECT_EQ(ConfigHome(With({{"XDG_CONFIG_HOME", "/srv/cfg"}, {"HOME", "/home/u"}})), "/srv/cfg");
  EXPECT_EQ(ConfigHome(With({{"HOME", "/home/u"}})), "/home/u/.config");
  EXPECT_EQ(ConfigHome(With({{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/u"}})), "/home/u/.config");
  // The rules ignore a relative path.
  EXPECT_EQ(ConfigHome(With({{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/u/"}})), "/home/u/.config");
  EXPECT_EQ(ConfigHome(With({{"XDG_CONFIG_HOME", "./cfg"}})), "/home/pw/.config");
  EXPECT_EQ(ConfigHome(With({{"HOME", ""}})), "/home/pw/.config");
  EXPECT_EQ(ConfigHome(With({}, std::nullopt)), std::nullopt);
}

TEST(XdgPaths, TheSocketAndTheLockLieInTheRuntimeFolderOrInAPrivateStandInForIt) {
  const RuntimeFolder given = RuntimeDir(With({{"XDG_RUNTIME_DIR", "/run/user/1234"}}));
  EXPECT_EQ(given.path, "/run/user/1234");
  EXPECT_FALSE(given.stand_in);
  EXPECT_EQ(SocketPath(given), "/run/user/1234/qx27agentd.socket");
  EXPECT_EQ(LockPath(given), "/run/user/1234/qx27agentd.lock");

  for (const auto& variables :
       {std::map<std::string, std::string>{}, std::map<std::string, std::string>{{"XDG_RUNTIME_DIR", ""}},
        std::map<std::string, std::string>{{"XDG_RUNTIME_DIR", "run/user/1234"}}}) {
    const RuntimeFolder stand_in = RuntimeDir(With(variables));
    EXPECT_EQ(stand_in.path, "/tmp/qx27-1234");
    EXPECT_TRUE(stand_in.stand_in);
  }
}

TEST(XdgPaths, OnlyAStandInSysfsMovesHotPlugFromUdevToWatchingThatFolder) {
  const HidrawFolders real = HidrawFoldersFrom(With({}));
  EXPECT_EQ(real.sysfs, "/sys/class/hidraw");
  EXPECT_EQ(real.dev, "/dev");
  EXPECT_FALSE(real.sysfs_given);

  const HidrawFolders dev_only = HidrawFoldersFrom(With({{"QX27_HIDRAW_DEV", "/t/dev"}}));
  EXPECT_EQ(dev_only.sysfs, "/sys/class/hidraw");
  EXPECT_EQ(dev_only.dev, "/t/dev");
  EXPECT_FALSE(dev_only.sysfs_given);  // the real sysfs makes no inotify events

  const HidrawFolders both = HidrawFoldersFrom(With({{"QX27_HIDRAW_SYSFS", "/t/sys"}, {"QX27_HIDRAW_DEV", "/t/dev"}}));
  EXPECT_EQ(both.sysfs, "/t/sys");
  EXPECT_TRUE(both.sysfs_given);
}

TEST(XdgPaths, AStandInRuntimeFolderIsMadePrivateAndRefusedWhenOthersCouldReachIt) {
  test::TempFolder folder;
  const unsigned me = ::getuid();
  const std::string fresh = (folder.Root() / "fresh").string();
  EXPECT_EQ(EnsurePrivateFolder(fresh, me), "");
  struct stat info {};
  ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(EnsurePrivateFolder(fresh, me), "");  // again: it is fit as it is

  const std::string open = (folder.Root() / "open").string();
  ASSERT_EQ(::mkdir(open.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
  EXPECT_NE(EnsurePrivateFolder(open, me), "");

  const std::string link = (folder.Root() / "link").string();
  ASSERT_EQ(::symlink(fresh.c_str(), link.c_str()), 0);
  EXPECT_NE(EnsurePrivateFolder(link, me), "");

  EXPECT_NE(EnsurePrivateFolder(fresh, me + 1), "");  // someone else's
}

TEST(InstanceLockTest, ASecondTakerIsRefusedAndToldTheHolderUntilTheHolderLetsGo) {
  test::TempFolder folder;
  const std::string path = (folder.Root() / "qx27agentd.lock").string();
  InstanceLock::Taken first = InstanceLock::Take(path);
  ASSERT_TRUE(first.lock.held()) << first.error;

  const InstanceLock::Taken second = InstanceLock::Take(path);
  EXPECT_FALSE(second.lock.held());
  EXPECT_TRUE(second.held_by_other);
  EXPECT_EQ(second.other_pid, ::getpid());
  EXPECT_EQ(second.error, "");

  first.lock.Release();
  const InstanceLock::Taken third = InstanceLock::Take(path);
  EXPECT_TRUE(third.lock.held());
}

TEST(InstanceLockTest, ALockFileThatCannotBeMadeIsAnErrorNotAnotherAgent) {
  test::TempFolder folder;
  const InstanceLock::Taken taken = InstanceLock::Take((folder.Root() / "missing" / "qx27agentd.lock").string());
  EXPECT_FALSE(taken.lock.held());
  EXPECT_FALSE(taken.held_by_other);
  EXPECT_NE(taken.error, "");
}

}  // namespace
}  // namespace qx27::session
