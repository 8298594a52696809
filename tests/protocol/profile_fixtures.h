// Profiles for the protocol tests and fuzz targets: the profile a first start
// gives, and validated profiles built from a stream of arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "settings/settings_record.h"

namespace qx27::test {

// The profile validation gives when the settings file is missing.
ProfileRecord DefaultProfile();

// Gives the next arbitrary byte; a fuzzer's input or a seeded generator.
using ByteSource = std::function<std::uint8_t()>;

// Reads bytes from a span, then zeros once it is used up.
ByteSource SpanSource(std::span<const std::uint8_t> bytes);

// A seeded pseudo-random stream, the same for the same seed.
ByteSource SeededSource(std::uint32_t seed);

// A profile as validation leaves it, every value in range, with the
// assignments a user can make in the companion UI: fixed functions, empty
// buttons, and general and bullet macros in the shapes it records them.
// With only_exact set, macros take only the shapes whose Button report
// survives a download and a second upload byte for byte; without it, macro
// steps are arbitrary bytes.
ProfileRecord GeneratedProfile(const ByteSource& next, bool only_exact);

}  // namespace qx27::test
