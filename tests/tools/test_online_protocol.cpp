#include <gtest/gtest.h>

#include "tools/online_protocol.h"

namespace trivane::sim {
namespace {

Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

TEST(LineReader, CutsLinesAtLineFeedAndDropsOneCarriageReturn) {
  LineReader lines;
  lines.Append(Text("sec"));
  EXPECT_FALSE(lines.NextLine());
  lines.Append(Text("ret\r\n\r\nplain\nkeeps\r\r\nrest"));
  EXPECT_EQ(lines.NextLine(), "secret");
  EXPECT_EQ(lines.NextLine(), "");
  EXPECT_EQ(lines.NextLine(), "plain");
  EXPECT_EQ(lines.NextLine(), "keeps\r");
  EXPECT_FALSE(lines.NextLine());
  EXPECT_EQ(lines.TakeRest(), Text("rest"));
  EXPECT_EQ(lines.PendingBytes(), 0u);
}

TEST(OnlineFrameReader, CutsFramesArrivingInPiecesAndBackToBack) {
  // len 5+3, marker, type 1, num 2, payload; then an empty frame of type 7 num 9.
  const Bytes stream{0x08, 0x00, 0x01, 0x01, 0x00, 0x02, 0x00, 0xAA, 0xBB,
                     0xCC, 0x05, 0x00, 0x01, 0x07, 0x00, 0x09, 0x00};
  OnlineFrameReader reader;
  OnlineFrame frame;
  std::string problem;
  reader.Append(ByteView(stream).first(1));
  EXPECT_EQ(reader.Next(frame, problem), OnlineFrameReader::Result::kNeedMore);
  reader.Append(ByteView(stream).subspan(1, 8));
  EXPECT_EQ(reader.Next(frame, problem), OnlineFrameReader::Result::kNeedMore);
  reader.Append(ByteView(stream).subspan(9));

  ASSERT_EQ(reader.Next(frame, problem), OnlineFrameReader::Result::kFrame);
  EXPECT_EQ(frame.type, 1);
  EXPECT_EQ(frame.num, 2);
  EXPECT_EQ(frame.payload, (Bytes{0xAA, 0xBB, 0xCC}));
  ASSERT_EQ(reader.Next(frame, problem), OnlineFrameReader::Result::kFrame);
  EXPECT_EQ(frame.type, 7);
  EXPECT_EQ(frame.num, 9);
  EXPECT_TRUE(frame.payload.empty());
  EXPECT_EQ(reader.Next(frame, problem), OnlineFrameReader::Result::kNeedMore);
}

TEST(OnlineFrameReader, RefusesAShortLengthOrAWrongMarkerAtOnce) {
  OnlineFrameReader short_length;
  OnlineFrame frame;
  std::string problem;
  short_length.Append(Bytes{0x04, 0x00});
  EXPECT_EQ(short_length.Next(frame, problem), OnlineFrameReader::Result::kMalformed);
  EXPECT_NE(problem.find("length field 4"), std::string::npos) << problem;

  // The marker is checked before the rest of the frame has come.
  OnlineFrameReader wrong_marker;
  wrong_marker.Append(Bytes{0x20, 0x00, 0x4C});
  EXPECT_EQ(wrong_marker.Next(frame, problem), OnlineFrameReader::Result::kMalformed);
  EXPECT_NE(problem.find("marker 4c"), std::string::npos) << problem;
}

}  // namespace
}  // namespace trivane::sim
