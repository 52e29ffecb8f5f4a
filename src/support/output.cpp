#include "support/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <cstdlib>

namespace velkor {

void Output::print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  printList(format, args);
  va_end(args);
}

void Output::printList(const char* format, va_list args) {
  char small[512];
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(small, sizeof small, format, args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(needed) < sizeof small) {
    write(small, static_cast<std::size_t>(needed));
  } else {
    // A longer line is formatted into a block of its own; should the heap
    // refuse it, the part that fitted is written rather than nothing.
    std::size_t size = static_cast<std::size_t>(needed) + 1;
    char* large = static_cast<char*>(std::malloc(size));
    if (large != nullptr) {
      std::vsnprintf(large, size, format, again);
      write(large, size - 1);
      std::free(large);
    } else {
      write(small, sizeof small - 1);
    }
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
      if (std::fwrite(data, 1, size, stream_) != size) fail();
      return;
    }
  }
  std::memcpy(buffer_ + used_, data, size);
  used_ += size;
}

void StreamOutput::flush() {
  if (failed_) return;
  if (used_ > 0 && std::fwrite(buffer_, 1, used_, stream_) != used_) fail();
  used_ = 0;
  if (!failed_ && std::fflush(stream_) != 0) fail();
}

void StreamOutput::fail() {
  failed_ = true;
  errorNumber_ = errno;
}

}  // namespace velkor
