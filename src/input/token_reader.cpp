#include "input/token_reader.h"

#include "support/analysis_context.h"

namespace velkor {

int readNumber(AnalysisContext&, int* value) { *value = 0; return -1; }
int readWord(AnalysisContext&, int* length, int, char* buffer) { *length = 0; buffer[0] = 0; return -1; }

}  // namespace velkor
