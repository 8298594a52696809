// Little-endian integers stored as bytes, for records that are a wire or file
// format: the byte order lives in the type, and the record stays free of padding
// whatever the host's alignment rules are.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

namespace qx27 {

template <typename T>
class LittleEndian {
  static_assert(std::is_integral_v<T>);

 public:
  constexpr LittleEndian() = default;
  constexpr LittleEndian(T value) { Set(value); }  // NOLINT(google-explicit-constructor)

  constexpr T Get() const {
    using U = std::make_unsigned_t<T>;
    U v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<U>(v | (static_cast<U>(bytes_[i]) << (8 * i)));
    return static_cast<T>(v);
  }
  constexpr void Set(T value) {
    using U = std::make_unsigned_t<T>;
    const U v = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes_[i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  constexpr operator T() const { return Get(); }  // NOLINT(google-explicit-constructor)
  constexpr LittleEndian& operator=(T value) {
    Set(value);
    return *this;
  }

 private:
  std::array<std::uint8_t, sizeof(T)> bytes_{};
};

using LeU16 = LittleEndian<std::uint16_t>;
using LeI32 = LittleEndian<std::int32_t>;

static_assert(sizeof(LeU16) == 2 && alignof(LeU16) == 1);
static_assert(sizeof(LeI32) == 4 && alignof(LeI32) == 1);

}  // namespace qx27
