#include "support/temp_folder.h"

#include <fstream>
#include <iterator>
#include <random>

#include "common/text.h"

namespace qx27::test {

TempFolder::TempFolder() {
  std::random_device random;
  std::error_code ec;
  do {
    root_ = std::filesystem::temp_directory_path() / ("qx27-test-" + std::to_string(random()));
  } while (!std::filesystem::create_directory(root_, ec));
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ec);
  std::filesystem::remove_all(root_, ec);
}

std::u16string TempFolder::IniPath(std::string_view name) const { return FromUtf8(File(name).string()); }

void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace qx27::test
