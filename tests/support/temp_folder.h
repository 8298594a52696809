// A fresh folder per test, removed afterwards, and whole-file byte access.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qx27::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path File(std::string_view name) const { return root_ / name; }
  // The same file as the UTF-16 path the INI port takes.
  std::u16string IniPath(std::string_view name) const;

 private:
  std::filesystem::path root_;
};

void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& file);

}  // namespace qx27::test
