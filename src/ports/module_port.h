// Port: the agent's own module file name and loading a DLL for one call.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qx27 {

using ModuleHandle = std::uintptr_t;  // 0: not loaded

class ModulePort {
 public:
  virtual ~ModulePort() = default;

  // GetModuleFileNameW of the agent itself into a 260-unit buffer, always
  // terminated. Gives the name's length; 260, the buffer's size, when the name
  // did not fit and was cut; 0 on failure.
  virtual std::size_t GetOwnFileName(std::span<char16_t, 260> buffer) = 0;
  virtual ModuleHandle LoadDll(std::u16string_view path) = 0;
  // Looks up `export_name`, a function taking two 32-bit integers and giving
  // one, and calls it. Gives false when the export is missing.
  virtual bool CallExport(ModuleHandle module, const char* export_name, std::int32_t first, std::int32_t second,
                          std::int32_t& result) = 0;
  virtual void FreeDll(ModuleHandle module) = 0;
};

}  // namespace qx27
