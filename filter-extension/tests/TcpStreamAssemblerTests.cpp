#include <numeric>

#include <gtest/gtest.h>

#include "velmoria_filter/TcpStreamAssembler.hpp"

namespace velmoria::filter {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes sequenceOf(std::size_t n) {
  Bytes bytes(n);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  return bytes;
}

std::span<const std::uint8_t> slice(const Bytes& bytes, std::size_t from, std::size_t length) {
  return std::span<const std::uint8_t>(bytes).subspan(from, length);
}

Bytes contents(const TcpStreamAssembler& assembler) {
  const auto bytes = assembler.contiguousBytes();
  return Bytes(bytes.begin(), bytes.end());
}

TEST(TcpStreamAssemblerTest, JoinsSegmentsInAnyOrderAndStopsAtGaps) {
  const auto stream = sequenceOf(300);
  TcpStreamAssembler assembler(8192);
  assembler.setFirstSequence(1000);
  assembler.addSegment(1200, slice(stream, 200, 100));
  EXPECT_TRUE(assembler.contiguousBytes().empty());
  assembler.addSegment(1000, slice(stream, 0, 100));
  EXPECT_EQ(contents(assembler), Bytes(stream.begin(), stream.begin() + 100));
  assembler.addSegment(1100, slice(stream, 100, 100));
  EXPECT_EQ(contents(assembler), stream);
  EXPECT_FALSE(assembler.isFull());
}

TEST(TcpStreamAssemblerTest, StopsAtTheLimitAndCutsBytesBeforeTheStart) {
  const auto stream = sequenceOf(100);
  TcpStreamAssembler assembler(64);
  assembler.setFirstSequence(50);
  assembler.addSegment(40, slice(stream, 0, 30));  // 10 bytes before the start are cut
  assembler.addSegment(70, slice(stream, 30, 70));
  EXPECT_TRUE(assembler.isFull());
  EXPECT_EQ(contents(assembler), Bytes(stream.begin() + 10, stream.begin() + 74));
  assembler.addSegment(30, slice(stream, 0, 5));   // wholly before the start
  assembler.addSegment(500, slice(stream, 0, 5));  // beyond the limit
  EXPECT_EQ(contents(assembler).size(), 64u);
}

TEST(TcpStreamAssemblerTest, OverlappingSegmentsKeepTheFirstCopyOfEachByte) {
  TcpStreamAssembler assembler(8192);
  assembler.setFirstSequence(100);
  assembler.addSegment(100, Bytes(10, 'a'));
  assembler.addSegment(105, Bytes(10, 'b'));  // overlaps the held tail of the first
  Bytes expected(10, 'a');
  expected.insert(expected.end(), 5, 'b');
  EXPECT_EQ(contents(assembler), expected);

  // Ahead of a gap too: the held bytes stay when a later copy covers them and fills the gap.
  assembler.addSegment(125, Bytes(5, 'c'));
  assembler.addSegment(100, Bytes(30, 'd'));
  expected.insert(expected.end(), 10, 'd');
  expected.insert(expected.end(), 5, 'c');
  EXPECT_EQ(contents(assembler), expected);
}

TEST(TcpStreamAssemblerTest, SequenceNumbersThatWrapAround) {
  const auto stream = sequenceOf(40);
  TcpStreamAssembler assembler(8192);
  assembler.setFirstSequence(0xFFFFFFF0u);
  assembler.addSegment(0x00000000u, slice(stream, 16, 24));
  assembler.addSegment(0xFFFFFFF0u, slice(stream, 0, 16));
  EXPECT_EQ(contents(assembler), stream);
}

}  // namespace
}  // namespace velmoria::filter
