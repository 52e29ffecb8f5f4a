// Words and numbers from the character source, with the echo of the input.
#pragma once

namespace velkor {

struct AnalysisContext;

// 0 when a number was read, -1 when input ended before any digit.
int readNumber(AnalysisContext& ctx, int* value);
// 0 when a word was read, -1 when input ended before any word character.
int readWord(AnalysisContext& ctx, int* length, int capacity, char* buffer);

}  // namespace velkor
