#include "support/output.h"

#include <cstdarg>
#include <cstring>
#include <vector>

namespace velkor {

void Output::print(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(needed) < sizeof small) {
    write(small, static_cast<std::size_t>(needed));
  } else {
    std::vector<char> large(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    write(large.data(), static_cast<std::size_t>(needed));
  }
  va_end(again);
}

void Output::putText(const char* text) { write(text, std::strlen(text)); }

void StreamOutput::write(const char* data, std::size_t size) {
  if (failed_) return;
  if (used_ + size > kBufferSize) {
    flush();
    if (failed_) return;
    if (size > kBufferSize) {
      if (std::fwrite(data, 1, size, stream_) != size) failed_ = true;
      return;
    }
  }
  std::memcpy(buffer_ + used_, data, size);
  used_ += size;
}

void StreamOutput::flush() {
  if (failed_) return;
  if (used_ > 0 && std::fwrite(buffer_, 1, used_, stream_) != used_) failed_ = true;
  used_ = 0;
  if (std::fflush(stream_) != 0) failed_ = true;
}

}  // namespace velkor
