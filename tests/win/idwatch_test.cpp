// The presence DLL as the agent uses it: loaded by path, export looked up by
// name, product ID first and vendor ID second.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

namespace {

using Probe = int(WINAPI*)(int, int);

std::wstring BinFolder() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  return path.substr(0, path.find_last_of(L'\\'));
}

class IdwatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dll_ = LoadLibraryW((BinFolder() + L"\\Idwatch.dll").c_str());
    ASSERT_NE(dll_, nullptr);
    probe_ = reinterpret_cast<Probe>(reinterpret_cast<void*>(GetProcAddress(dll_, "IdwatchProbe")));
    ASSERT_NE(probe_, nullptr);
  }
  void TearDown() override { FreeLibrary(dll_); }

  HMODULE dll_ = nullptr;
  Probe probe_ = nullptr;
};

TEST_F(IdwatchTest, AbsentDeviceGivesZero) {
  EXPECT_EQ(probe_(0xB412, 0x1B80), 0);
  EXPECT_EQ(probe_(0xBEEF, 0xDEAD), 0);
  EXPECT_EQ(probe_(-1, 70000), 0);
}

// Any present device whose hardware ID names a vendor and product: the probe
// must find it by those IDs, in the agent's argument order.
TEST_F(IdwatchTest, PresentDeviceIsFoundByItsIds) {
  HDEVINFO devices = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  ASSERT_NE(devices, INVALID_HANDLE_VALUE);
  int vid = -1, pid = -1;
  for (DWORD i = 0; vid < 0; ++i) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiEnumDeviceInfo(devices, i, &device)) break;
    wchar_t ids[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids),
                                           sizeof(ids) - 4, nullptr)) {
      continue;
    }
    std::wstring first(ids);
    for (auto& c : first) c = static_cast<wchar_t>(std::towupper(c));
    const auto v = first.find(L"VID_"), p = first.find(L"PID_");
    if (v != std::wstring::npos && p != std::wstring::npos) {
      vid = std::stoi(first.substr(v + 4, 4), nullptr, 16);
      pid = std::stoi(first.substr(p + 4, 4), nullptr, 16);
    }
  }
  SetupDiDestroyDeviceInfoList(devices);
  if (vid < 0) GTEST_SKIP() << "no present device with a vendor and product ID on this system";
  EXPECT_NE(probe_(pid, vid), 0);
  EXPECT_EQ(probe_(vid == pid ? pid + 1 : vid, pid), 0) << "the arguments are product first, vendor second";
}

}  // namespace
