// Words and numbers from the character source, with the echo of the input.
#pragma once

namespace velkor {

struct ReaderContext;

// What a digit string beyond 32 bits becomes.
enum class NumberRange {
  kWrap,      // wraps modulo 2^32 (the n and t values)
  kSaturate,  // stays at 4294967295 (node labels, so that no label wraps into range)
};

// 0 when a number was read, -1 when input ended before any digit. The value
// is the number's 32 bits taken as a signed int.
int readNumber(ReaderContext& ctx, int* value, NumberRange range = NumberRange::kWrap);
// 0 when a word was read, -1 when input ended before any word character.
int readWord(ReaderContext& ctx, int* length, int capacity, char* buffer);

}  // namespace velkor
