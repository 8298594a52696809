// The size of a settings file in the figures the benchmarks report.
#pragma once

#include <cstddef>
#include <string_view>

namespace qx27::bench {

struct FileStats {
  std::size_t bytes = 0;
  std::size_t keys = 0;  // lines holding '=': one per key the agent writes
};

// `bytes` is the file in one of the service's encodings; only '=' and line
// ends are looked for, which is enough for the files the agent writes (in
// UTF-16 the high bytes of those characters are zero, so they count once).
inline FileStats Stats(std::string_view bytes) {
  FileStats stats{bytes.size(), 0};
  bool seen_equals = false;
  for (const char c : bytes) {
    if (c == '=') seen_equals = true;
    if (c == '\n') {
      stats.keys += seen_equals ? 1 : 0;
      seen_equals = false;
    }
  }
  return stats;
}

}  // namespace qx27::bench
