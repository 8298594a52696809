#include "profile_fixtures.h"

#include <array>
#include <memory>
#include <random>

#include "protocol/macro_records.h"

namespace qx27::test {
namespace {

constexpr std::array<std::uint8_t, kButtonCount> kDefaultButtons = {0xA0, 0xA1, 0xA2, 0xD0, 0xA4,
                                                                    0xA3, 0xD1, 0xA5, 0x00};

// Every function code validation accepts, the macro codes twice so that macros are common.
constexpr std::array<std::uint8_t, 49> kValidCodes = {
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0,
    0xB1, 0xB2, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD0, 0xD1, 0xD2, 0xD3,
    0xD4, 0xD5, 0xD6, 0xD7, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xA6, 0xA6, 0xA7, 0xA7};

int Pick(const ByteSource& next, int count) { return next() % count; }
std::uint16_t Word(const ByteSource& next) { return static_cast<std::uint16_t>(next() | next() << 8); }
std::int32_t Colour(const ByteSource& next) { return next() | next() << 8 | next() << 16; }

// A mouse button or a key with a one-byte usage: the step kinds whose press
// and release travel to the mouse and back unchanged.
std::uint8_t ExactKeyOrButton(const ByteSource& next) {
  static constexpr std::uint8_t kMasks[] = {1, 2, 4, 8, 16};
  if (next() % 4 == 0) return kMasks[Pick(next, 5)];
  for (;;) {
    const auto key = static_cast<std::uint8_t>(0x11 + Pick(next, 0xA0 - 0x11 + 1));
    const std::uint16_t usage = KeyUsage(key);
    if (usage != 0 && usage <= 0xFF) return key;
  }
}

std::uint16_t NonZeroDelay(const ByteSource& next) {
  const std::uint16_t delay = Word(next);
  return delay == 0 ? 1 : delay;
}

void AddStep(ButtonEntry& entry, int& n, std::uint8_t code, std::uint16_t value) {
  if (n >= kMacroSteps) return;
  entry.Steps[n].StepCode = code;
  entry.Steps[n].StepValue = value;
  ++n;
}

// Presses and releases, each with or without a delay after it, as the
// companion UI records them; it ends on a release, whose delay a download
// clears. Without delays a macro can fill all 92 steps, so that a few
// profiles hold more records than the record area.
void FillGeneralMacro(ButtonEntry& entry, const ByteSource& next) {
  int n = 0;
  const int pairs = 1 + Pick(next, 46);
  for (int i = 0; i < pairs && n + 4 <= kMacroSteps; ++i) {
    const std::uint8_t key = ExactKeyOrButton(next);
    AddStep(entry, n, key, 1);
    if (next() % 2 == 0) AddStep(entry, n, kStepDelay, NonZeroDelay(next));
    AddStep(entry, n, key, 0);
    if (next() % 2 == 0) AddStep(entry, n, kStepDelay, NonZeroDelay(next));
  }
  if (entry.Steps[n - 1].StepCode == kStepDelay) entry.Steps[--n] = MacroStep{};
  entry.StepCount = static_cast<std::uint8_t>(n);
}

// Click, release, movement, each followed by a delay, for one bullet profile.
void FillBulletMacro(ButtonEntry& entry, const ByteSource& next) {
  int n = 0;
  const auto click = static_cast<std::uint8_t>(1 + Pick(next, 11));
  const int shots = 1 + Pick(next, 15);
  for (int i = 0; i < shots; ++i) {
    AddStep(entry, n, click, 1);
    AddStep(entry, n, kStepDelay, NonZeroDelay(next));
    AddStep(entry, n, click, 0);
    AddStep(entry, n, kStepDelay, NonZeroDelay(next));
    AddStep(entry, n, kStepMovement, NonZeroDelay(next));
    AddStep(entry, n, kStepDelay, NonZeroDelay(next));
  }
  entry.StepCount = static_cast<std::uint8_t>(n);
}

void FillAnySteps(ButtonEntry& entry, const ByteSource& next) {
  for (MacroStep& step : entry.Steps) {
    step.StepCode = next();
    step.StepValue = Word(next);
  }
  entry.StepCount = next();
}

}  // namespace

ProfileRecord DefaultProfile() {
  ProfileRecord p{};
  p.DPI_Color[0] = 0xFF;
  p.DPI_Color[1] = 0xFF00;
  p.DPI_Color[2] = 0xFF0000;
  p.DPI_Color[3] = 0xFFFF00;
  p.DPI_Color[4] = 0xFF00FF;
  p.DPI_Color[5] = 0xFFFF;
  for (int i = 0; i < kDpiStages; ++i) p.DPI_Value[i] = i + 1;
  p.POLLRATE_VALUE = 2;
  p.Enable_light = 1;
  for (std::int32_t& colour : p.light_Color) colour = 0xFF;
  constexpr std::int32_t kCycle[kLightColors] = {0xFF, 0xFF00, 0xFF0000, 0xFFFF, 0xFFFF00, 0xFF00FF, 0xFFFFFF};
  for (int i = 0; i < kLightColors; ++i) p.light_Cycle[i] = kCycle[i];
  p.light_bright = 5;
  p.light_speed = 3;
  p.DBClick_Speed = 4;
  p.Scroll_Speed = 3;
  p.Mouse_Speed = 5;
  for (int k = 0; k < kButtonCount; ++k) {
    p.ButtonAssigned[k].ButtonNo = static_cast<std::uint8_t>(k + 1);
    p.ButtonAssigned[k].FuncCode = kDefaultButtons[k];
    p.ButtonAssigned[k].MacroID = -1;
  }
  return p;
}

ByteSource SpanSource(std::span<const std::uint8_t> bytes) {
  auto position = std::make_shared<std::size_t>(0);
  return [bytes, position]() -> std::uint8_t { return *position < bytes.size() ? bytes[(*position)++] : 0; };
}

ByteSource SeededSource(std::uint32_t seed) {
  auto engine = std::make_shared<std::mt19937>(seed);
  return [engine]() { return static_cast<std::uint8_t>((*engine)() & 0xFF); };
}

ProfileRecord GeneratedProfile(const ByteSource& next, bool only_exact) {
  ProfileRecord p = DefaultProfile();
  p.DPI_Cur = Pick(next, 7);
  for (int i = 0; i < kDpiStages; ++i) {
    p.DPI_Value[i] = Pick(next, 8);
    p.DPI_Color[i] = Colour(next);
  }
  p.POLLRATE_VALUE = Pick(next, 4);
  p.Enable_light = Pick(next, 2);
  p.Cycle_enable = Pick(next, 2);
  p.light_type = Pick(next, 7);
  for (std::int32_t& colour : p.light_Color) colour = Colour(next);
  p.light_bright_colorID = Pick(next, 7);
  p.light_bright = Pick(next, 6);
  p.light_speed = 1 + Pick(next, 5);
  p.lift_height = Pick(next, 4);

  for (int k = 0; k < kButtonCount; ++k) {
    ButtonEntry& entry = p.ButtonAssigned[k];
    entry.FuncCode = kValidCodes[Pick(next, static_cast<int>(kValidCodes.size()))];
    entry.MacroID = Word(next);
    entry.RepeatMode = next();
    entry.RepeatCount = next();
    // A mode byte of 0 reads back as a fixed assignment, not a macro.
    if (only_exact && MacroModeByte(entry.RepeatMode, entry.RepeatCount) == 0) entry.RepeatMode = 0;
    const std::uint8_t code = entry.FuncCode;
    const bool general = code == kFuncGeneralMacro || (code >= 0xAC && code <= 0xB2);
    if (!only_exact) {
      FillAnySteps(entry, next);
    } else if (general) {
      FillGeneralMacro(entry, next);
    } else if (code == kFuncBulletMacro) {
      FillBulletMacro(entry, next);
    }
  }
  return p;
}

}  // namespace qx27::test
