// Writes seed inputs for the fuzz targets, made from what the encoders send
// for the default profile and for generated ones, and from the mouse's report
// descriptors: qx27_fuzz_seeds <folder>.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "fuzz_inputs.h"
#include "mouse_descriptors.h"
#include "profile_fixtures.h"
#include "protocol/button_report.h"
#include "protocol/performance_report.h"

using namespace qx27;
namespace fs = std::filesystem;

namespace {

constexpr int kGeneratedProfiles = 48;

void Write(const fs::path& folder, int number, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(folder);
  std::ofstream(folder / ("seed-" + std::to_string(number)), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> PerformanceSeed(const ProfileRecord& p) {
  const PerformanceReport report = EncodePerformanceReport(p);
  std::vector<std::uint8_t> seed(report.begin(), report.end());
  const auto* block = reinterpret_cast<const std::uint8_t*>(&p) + fuzzing::kPerformanceBlockStart;
  seed.insert(seed.end(), block, block + fuzzing::kPerformanceBlockSize);
  return seed;
}

// The report followed by the entries it was made from, so the MacroID rule meets equal macros.
std::vector<std::uint8_t> ButtonSeed(const ProfileRecord& p) {
  const ButtonReport report = EncodeButtonReport(p);
  std::vector<std::uint8_t> seed(report.begin(), report.end());
  const auto* entries = reinterpret_cast<const std::uint8_t*>(p.ButtonAssigned);
  seed.insert(seed.end(), entries, entries + sizeof p.ButtonAssigned);
  return seed;
}

std::vector<std::uint8_t> ChoiceStream(std::uint32_t seed, std::size_t size) {
  const test::ByteSource next = test::SeededSource(seed);
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& byte : bytes) byte = next();
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qx27_fuzz_seeds <folder>\n";
    return 2;
  }
  const fs::path root = argv[1];
  int number = 0;
  Write(root / "performance_decode", number, PerformanceSeed(test::DefaultProfile()));
  Write(root / "button_decode", number, ButtonSeed(test::DefaultProfile()));
  for (std::uint32_t seed = 1; seed <= kGeneratedProfiles; ++seed) {
    ++number;
    // Half with macros as the companion UI records them, half with arbitrary steps.
    const bool exact = seed % 2 == 0;
    const ProfileRecord p = test::GeneratedProfile(test::SeededSource(seed), exact);
    Write(root / "performance_decode", number, PerformanceSeed(p));
    Write(root / "button_decode", number, ButtonSeed(p));
    Write(root / "round_trip", number, ChoiceStream(seed, 256 + 64 * (seed % 16)));
  }
  // The mouse's four interfaces, alone and as one composite descriptor.
  std::vector<std::uint8_t> composite;
  int descriptor_number = 0;
  for (const auto& descriptor : {std::span<const std::uint8_t>(test::kPerformanceInterfaceDescriptor),
                                 std::span<const std::uint8_t>(test::kButtonInterfaceDescriptor),
                                 std::span<const std::uint8_t>(test::kCommandInterfaceDescriptor),
                                 std::span<const std::uint8_t>(test::kEventsInterfaceDescriptor)}) {
    Write(root / "report_descriptor", descriptor_number++, {descriptor.begin(), descriptor.end()});
    composite.insert(composite.end(), descriptor.begin(), descriptor.end());
  }
  Write(root / "report_descriptor", descriptor_number, composite);
  return 0;
}
