// Words and numbers from the character source, with the echo of the input.
#pragma once

namespace velkor {

struct ReaderContext;

// 0 when a number was read, -1 when input ended before any digit.
int readNumber(ReaderContext& ctx, int* value);
// 0 when a word was read, -1 when input ended before any word character.
int readWord(ReaderContext& ctx, int* length, int capacity, char* buffer);

}  // namespace velkor
