// The one file a settings fuzz target works on: a fixed name in a folder of its
// own, made once per process and removed at a normal exit, so that a long run
// rewrites the same few kilobytes instead of filling the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <unistd.h>

#include "common/text.h"

namespace qx27::fuzzing {

class FuzzFile {
 public:
  FuzzFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qx27-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder_ = pattern;
    file_ = folder_ / "GamingMouse.ini";
    path_ = FromUtf8(file_.string());
  }
  ~FuzzFile() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  FuzzFile(const FuzzFile&) = delete;
  FuzzFile& operator=(const FuzzFile&) = delete;

  const std::u16string& IniPath() const { return path_; }

  void Set(const std::uint8_t* data, std::size_t size) const {
    std::ofstream out(file_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (out.fail()) std::abort();
  }
  std::string Bytes() const {
    std::ifstream in(file_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path folder_;
  std::filesystem::path file_;
  std::u16string path_;
};

// One per process; a function-local static is destroyed by exit(), which is
// how libFuzzer ends a run that found nothing.
inline const FuzzFile& TheFile() {
  static const FuzzFile file;
  return file;
}

}  // namespace qx27::fuzzing
