// How the fuzz targets and the seed generator lay out an input, so that seeds
// made from the encoders' reports reach the decoders whole.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "settings/settings_record.h"

namespace qx27::fuzzing {

// The block of a profile the Performance report reads and writes, DPI_Cur up to lift_height.
inline constexpr std::size_t kPerformanceBlockStart = offsetof(ProfileRecord, DPI_Cur);
inline constexpr std::size_t kPerformanceBlockEnd = offsetof(ProfileRecord, DBClick_Speed);
inline constexpr std::size_t kPerformanceBlockSize = kPerformanceBlockEnd - kPerformanceBlockStart;

// Copies bytes over a region of a plain-data record, as many as there are.
template <typename Record>
void Overlay(Record& record, std::size_t start, std::size_t size, std::span<const std::uint8_t> bytes) {
  const std::size_t n = std::min(size, bytes.size());
  if (n > 0) std::memcpy(reinterpret_cast<unsigned char*>(&record) + start, bytes.data(), n);
}

}  // namespace qx27::fuzzing
