// Token reader: words, numbers and the echo of separators and comments.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

#include "analysis/analysis_context.h"
#include "input/token_reader.h"

namespace velkor {
namespace {

using namespace std::string_literals;

class TokenReaderTest : public ::testing::Test {
 protected:
  void feed(const std::string& text) {
    ctx_.reset();
    source_ = std::make_unique<StringSource>(text);
    output_.clear();
    ctx_ = std::make_unique<AnalysisContext>(*source_, output_, heap_);
  }
  // Reads a word and prints it the way the netlist reader does.
  int word(std::string& text) {
    char buffer[kWordCapacity];
    int length = -1;
    int result = readWord(*ctx_, &length, kWordCapacity, buffer);
    text = buffer;
    EXPECT_EQ(length, static_cast<int>(text.size()));
    ctx_->out.print("%s", buffer);
    return result;
  }
  int number(int& value, NumberRange range = NumberRange::kWrap) {
    value = -7;
    int result = readNumber(*ctx_, &value, range);
    if (result == 0) ctx_->out.print("%u", static_cast<unsigned>(value));
    return result;
  }
  const std::string& echo() const { return output_.text(); }

  std::unique_ptr<StringSource> source_;
  StringOutput output_;
  HeapAllocator heap_;
  std::unique_ptr<AnalysisContext> ctx_;
};

TEST_F(TokenReaderTest, WordsAndNumbersEchoTheInputExactly) {
  feed("r1 1 2\n");
  std::string w;
  int v = 0;
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "r1");
  ASSERT_EQ(number(v), 0);
  EXPECT_EQ(v, 1);
  ASSERT_EQ(number(v), 0);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(echo(), "r1 1 2");
  // The final line feed is printed by the next read, which meets the end.
  EXPECT_EQ(word(w), -1);
  EXPECT_EQ(echo(), "r1 1 2\n");
}

TEST_F(TokenReaderTest, SeparatorsAreEchoedLikeBlanks) {
  feed(" \t3,4;\r5");
  int v = 0;
  for (int expected : {3, 4, 5}) {
    ASSERT_EQ(number(v), 0);
    EXPECT_EQ(v, expected);
  }
  EXPECT_EQ(echo(), " \t3,4;\r5");
}

TEST_F(TokenReaderTest, NestedCommentsAreEchoedWholeAndJoinTokens) {
  feed("{a {nested} comment}r5 r1{note}2 1{x}2");
  std::string w;
  int v = 0;
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "r5");
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "r12");
  ASSERT_EQ(number(v), 0);
  EXPECT_EQ(v, 12);
  // The reader prints the joined token after the comment it swallowed.
  EXPECT_EQ(echo(), "{a {nested} comment}r5 {note}r12 {x}12");
}

TEST_F(TokenReaderTest, NumbersSkipEverythingButDigits) {
  feed("-5 1.5 12a3 007 1}2 9\xff" "8");
  int v = 0;
  for (int expected : {5, 15, 123, 7, 12, 98}) {
    ASSERT_EQ(number(v), 0);
    EXPECT_EQ(v, expected);
  }
  EXPECT_EQ(echo(), "5 15 123 7 12 98");
  EXPECT_EQ(number(v), -1);
  EXPECT_EQ(v, 0);
}

TEST_F(TokenReaderTest, StrayClosingBraceAndHighBytesBelongToWords) {
  feed("r} \xe9x");
  std::string w;
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "r}");
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "\xe9x");
}

TEST_F(TokenReaderTest, LongDigitStringsWrapModulo32Bits) {
  feed("4294967296 4294967297 4294967295 2147483648 99999999999999999999999999999999999999");
  int v = 0;
  ASSERT_EQ(number(v), 0);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(number(v), 0);
  EXPECT_EQ(v, 1);
  ASSERT_EQ(number(v), 0);
  EXPECT_EQ(v, -1);
  ASSERT_EQ(number(v), 0);
  EXPECT_EQ(v, INT_MIN);
  ASSERT_EQ(number(v), 0);
  // 10^38 - 1 reduced modulo 2^32, worked out digit by digit in 64 bits.
  std::uint64_t expected = 0;
  for (int i = 0; i < 38; ++i) expected = (expected * 10 + 9) % 4294967296ull;
  EXPECT_EQ(static_cast<unsigned>(v), static_cast<unsigned>(expected));
}

TEST_F(TokenReaderTest, SaturatingDigitStringsStopAtTheLargest32BitValue) {
  feed("4294967294 4294967295 4294967296 42949672950 99999999999999999999 12");
  int v = 0;
  for (unsigned expected : {4294967294u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 12u}) {
    ASSERT_EQ(number(v, NumberRange::kSaturate), 0);
    EXPECT_EQ(static_cast<unsigned>(v), expected);
  }
  EXPECT_EQ(echo(), "4294967294 4294967295 4294967295 4294967295 4294967295 12");
}

TEST_F(TokenReaderTest, FullBufferDropsTheCharacterThatFoundItFull) {
  std::string text(127, 'w');
  text += "XYZ 5";
  feed(text);
  std::string w;
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, std::string(127, 'w'));
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "YZ");
  // X is printed at the start of the second read but is part of no token.
  EXPECT_EQ(echo(), std::string(127, 'w') + "XYZ");
}

TEST_F(TokenReaderTest, EndOfInputRightAfterAWordKeepsItsLastCharacter) {
  feed("end");
  std::string w;
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "end");
  EXPECT_EQ(word(w), -1);
  EXPECT_EQ(w, "");
  // The pending character is the last one read, so it is echoed again.
  EXPECT_EQ(echo(), "endd");
}

TEST_F(TokenReaderTest, UnterminatedCommentConsumesTheRest) {
  feed("r1{open {inner} never closed\n");
  std::string w;
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "r1");
  feed("  {open {inner} never closed\n");
  ASSERT_EQ(word(w), -1);
  EXPECT_EQ(echo(), "  {open {inner} never closed\n");
}

TEST_F(TokenReaderTest, NulByteEndsTheWordText) {
  feed("r1\0abc 7 {\0}\0x"s);
  std::string w;
  int v = 0;
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "r1");
  ASSERT_EQ(number(v), 0);
  EXPECT_EQ(v, 7);
  ASSERT_EQ(word(w), 0);
  EXPECT_EQ(w, "");  // a word that begins with NUL is empty
  EXPECT_EQ(echo(), "r1 7 {\0}"s);
}

}  // namespace
}  // namespace velkor
