// Port: whole files read and written at once, for backups a user names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qx27 {

class FilePort {
 public:
  virtual ~FilePort() = default;
  // The file's bytes; nullopt when it cannot be read.
  virtual std::optional<std::string> ReadWholeFile(std::u16string_view path) = 0;
  // Replaces the file with `bytes`; false when that failed.
  virtual bool WriteWholeFile(std::u16string_view path, std::string_view bytes) = 0;
};

}  // namespace qx27
