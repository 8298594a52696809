#include "platform/linux/hidraw/report_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

#include "mouse_descriptors.h"

namespace qx27::hidraw {

void PrintTo(const ReportLengths& r, std::ostream* out) {
  *out << "{id " << int{r.report_id} << ", input " << r.input_length << ", feature " << r.feature_length << "}";
}

namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename Container>
Bytes Concat(const Bytes& head, const Container& tail) {
  Bytes all = head;
  all.insert(all.end(), tail.begin(), tail.end());
  return all;
}

TEST(ReportDescriptor, EachOfTheMouseInterfacesDeclaresTheLengthItIsToldApartBy) {
  const auto performance = ParseReportDescriptor(test::kPerformanceInterfaceDescriptor);
  const auto buttons = ParseReportDescriptor(test::kButtonInterfaceDescriptor);
  const auto command = ParseReportDescriptor(test::kCommandInterfaceDescriptor);
  const auto events = ParseReportDescriptor(test::kEventsInterfaceDescriptor);
  ASSERT_TRUE(performance && buttons && command && events);

  EXPECT_EQ(performance->reports, (std::vector<ReportLengths>{{3, 0, 40}}));
  EXPECT_EQ(buttons->reports, (std::vector<ReportLengths>{{4, 0, 2049}}));
  EXPECT_EQ(command->reports, (std::vector<ReportLengths>{{6, 0, 8}}));
  EXPECT_EQ(events->reports, (std::vector<ReportLengths>{{2, 4, 0}}));
}

TEST(ReportDescriptor, EachReportIdSumsItsOwnFieldsAndPopRestoresTheIdAndSizes) {
  const Bytes descriptor{
      0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,  // Generic Desktop, Mouse, Collection
      0x85, 0x01,                          // Report ID 1
      0xA4,                                // Push
      0x75, 0x01, 0x95, 0x03, 0x81, 0x02,  //   three 1-bit buttons
      0x95, 0x01, 0x75, 0x05, 0x81, 0x03,  //   5 bits of padding
      0xB4,                                // Pop: size and count back to 0
      0x75, 0x08, 0x95, 0x02, 0x81, 0x06,  // X and Y, a byte each
      0xC0,                                //
      0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x95, 0x27, 0xB1, 0x02,  // Report ID 3: 39 feature bytes
      0xA4, 0x85, 0x05, 0x95, 0x01, 0xB1, 0x02, 0xB4,  // pushed: ID 5 with one feature byte
      0x95, 0x04, 0x81, 0x02,                          // back on ID 3: 4 input bytes
      0xC0,
  };
  const auto summary = ParseReportDescriptor(descriptor);
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->reports, (std::vector<ReportLengths>{{1, 4, 0}, {3, 5, 40}, {5, 0, 2}}));
  EXPECT_EQ(summary->largest_input_length, 5);
  EXPECT_EQ(summary->largest_feature_length, 40);
}

TEST(ReportDescriptor, AReportWithoutIdCountsTheIdByteAndOutputReportsAreNotCounted) {
  // Three input bytes and one output byte, no report ID; then nothing at all.
  const auto summary = ParseReportDescriptor(Bytes{0x75, 0x08, 0x95, 0x03, 0x81, 0x02, 0x95, 0x01, 0x91, 0x02});
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->reports, (std::vector<ReportLengths>{{0, 4, 0}}));
  const auto empty = ParseReportDescriptor({});
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->reports.empty());
}

TEST(ReportDescriptor, LongReservedAndFourByteItemsAreReadOverWhole) {
  const Bytes preamble{
      0xFE, 0x03, 0x10, 0x85, 0x09, 0xB1,  // long item whose data looks like items
      0x0D, 0x85,                          // reserved item type with one data byte
      0x97, 0x01, 0x00, 0x00, 0x00,        // Report Count (1) in four bytes, overridden below
  };
  const auto summary = ParseReportDescriptor(Concat(preamble, test::kPerformanceInterfaceDescriptor));
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->reports, (std::vector<ReportLengths>{{3, 0, 40}}));
}

TEST(ReportDescriptor, AReportOfTheLongestLengthIsTakenAndOneBitMoreIsDamage) {
  // Report ID 1 with 16383 feature bytes: 16384 with the ID.
  const Bytes longest{0x85, 0x01, 0x75, 0x08, 0x96, 0xFF, 0x3F, 0xB1, 0x02};
  const auto summary = ParseReportDescriptor(longest);
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->largest_feature_length, kMaxReportLength);
  EXPECT_FALSE(ParseReportDescriptor(Concat(longest, Bytes{0x75, 0x01, 0x95, 0x01, 0xB1, 0x02})));
}

TEST(ReportDescriptor, DamagedDescriptorsGiveNothing) {
  const std::vector<std::pair<const char*, Bytes>> damaged{
      {"item cut inside its data", {0x06, 0x00}},
      {"four-byte item cut short", {0x97, 0x01, 0x00, 0x00}},
      {"long item without its header", {0xFE, 0x02}},
      {"long item cut inside its data", {0xFE, 0x05, 0x10, 0xAA, 0xBB}},
      {"Pop without Push", {0xB4}},
      {"Push nested five deep", {0xA4, 0xA4, 0xA4, 0xA4, 0xA4}},
      {"report ID 0", {0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
      {"report ID 256", {0x86, 0x00, 0x01}},
      {"largest size times largest count", {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02}},
      {"count of 2^31 one-bit fields", {0x75, 0x01, 0x97, 0x00, 0x00, 0x00, 0x80, 0xB1, 0x02}},
  };
  for (const auto& [what, bytes] : damaged) EXPECT_FALSE(ParseReportDescriptor(bytes)) << what;

  // The same item, whole, parses: it was the cut that was refused.
  EXPECT_TRUE(ParseReportDescriptor(Bytes{0x06, 0x00, 0xFF}));
  EXPECT_TRUE(ParseReportDescriptor(Bytes{0xA4, 0xA4, 0xA4, 0xA4, 0xB4, 0xB4, 0xB4, 0xB4}));
}

}  // namespace
}  // namespace qx27::hidraw
