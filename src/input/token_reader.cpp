// Words and numbers, read one character at a time, with the echo of every
// separator and comment passed over.
//
// Both readers start by printing the character left over from the previous
// read (the separator that ended a token, or the character that found a word
// buffer full). Comments in braces nest, are echoed whole and never end a
// token, so "r1{note}2" is the word r12.
#include "input/token_reader.h"

#include <cstdint>

#include "input/reader_context.h"

namespace velkor {

namespace {

bool isSeparator(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == ';';
}

void echoPending(ReaderContext& ctx) {
  if (ctx.pendingChar != 0) ctx.out.putChar(ctx.pendingChar);
}

// Comment nesting of one read. Wide enough that no input can overflow it.
using CommentDepth = std::uint64_t;

// Takes one character into pendingChar and echoes it if it lies inside a
// comment. Returns the character (0 .. 255), -1 at end of input (pendingChar
// then keeps the last character read), or -2 when the character was part of
// a comment and has been dealt with.
int nextOutsideComment(ReaderContext& ctx, CommentDepth& depth) {
  int c = ctx.in.get();
  if (c < 0) {
    ctx.token.endedInComment = depth > 0;
    return -1;
  }
  ctx.pendingChar = static_cast<char>(c);
  if (c == '{') {
    if (depth == 0) ctx.token.commentAt = ctx.in.position();
    ++depth;
  }
  if (depth > 0) {
    ctx.out.putChar(static_cast<char>(c));
    if (c == '}') --depth;
    return -2;
  }
  return c;
}

// Starts the record of a token at the character just read.
void beginToken(ReaderContext& ctx) {
  TokenRecord& t = ctx.token;
  t.at = ctx.in.position();
  t.plainNumber = true;
  t.spansWords = false;
  t.textLength = 0;
  t.textCut = false;
  t.text[0] = 0;
}

// Adds a character to the token's text; a separator inside the token is
// kept as one blank however many there were.
void recordChar(TokenRecord& t, char c) {
  if (t.textLength >= TokenRecord::kTextCapacity - 1) {
    t.textCut = true;
    return;
  }
  if (c == ' ' && t.textLength > 0 && t.text[t.textLength - 1] == ' ') return;
  t.text[t.textLength++] = c;
  t.text[t.textLength] = 0;
}

}  // namespace

int readNumber(ReaderContext& ctx, int* value, NumberRange range) {
  *value = 0;
  echoPending(ctx);
  CommentDepth depth = 0;
  // A long digit string wraps modulo 2^32, or stays at the largest 32-bit
  // value once past it; either is then taken as a signed int.
  constexpr std::uint32_t kLargest = UINT32_MAX;
  std::uint32_t accumulated = 0;
  bool started = false;
  bool consumed = false;  // a character that is no separator has been read
  bool gap = false;       // a separator followed what was consumed
  for (;;) {
    int c = nextOutsideComment(ctx, depth);
    if (c == -1) break;
    if (c == -2) continue;
    if (isSeparator(c)) {
      if (started) break;
      ctx.out.putChar(static_cast<char>(c));
      gap = consumed;
      continue;
    }
    if (!consumed) beginToken(ctx);
    if (gap) {
      // Only characters before the first digit can be followed by a
      // separator that does not end the number.
      recordChar(ctx.token, ' ');
      ctx.token.spansWords = true;
    }
    consumed = true;
    gap = false;
    recordChar(ctx.token, static_cast<char>(c));
    if (c >= '0' && c <= '9') {
      const auto digit = static_cast<std::uint32_t>(c - '0');
      if (range == NumberRange::kSaturate && accumulated > (kLargest - digit) / 10u)
        accumulated = kLargest;
      else
        accumulated = accumulated * 10u + digit;
      started = true;
    } else {
      // Anything else cannot belong to a number and is dropped silently.
      ctx.token.plainNumber = false;
    }
  }
  if (started && accumulated > 0x7fffffffu) ctx.token.plainNumber = false;
  *value = static_cast<int>(accumulated);
  return started ? 0 : -1;
}

int readWord(ReaderContext& ctx, int* length, int capacity, char* buffer) {
  *length = 0;
  if (capacity < 1) return -1;
  buffer[0] = 0;
  echoPending(ctx);
  CommentDepth depth = 0;
  int stored = 0;  // characters taken into the buffer, NUL bytes included
  bool full = false;
  for (;;) {
    int c = nextOutsideComment(ctx, depth);
    if (c == -1) break;
    if (c == -2) continue;
    if (isSeparator(c)) {
      if (stored > 0) break;
      ctx.out.putChar(static_cast<char>(c));
      continue;
    }
    // The character that finds the buffer full stays in pendingChar and
    // belongs to no token.
    if (stored >= capacity - 1) {
      full = true;
      break;
    }
    if (stored == 0) beginToken(ctx);
    buffer[stored++] = static_cast<char>(c);
    buffer[stored] = 0;
  }
  // A NUL byte ends the word's text as in any C string: the word is what
  // comes before it.
  int text = 0;
  while (text < stored && buffer[text] != 0) ++text;
  *length = text;
  return stored > 0 || full ? 0 : -1;
}

}  // namespace velkor
