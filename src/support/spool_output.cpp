#include "support/spool_output.h"

namespace velkor {

SpoolOutput::~SpoolOutput() {
  if (file_ != nullptr) std::fclose(file_);
}

namespace {

// Text kept in memory up to this size; a longer one moves to the file. A
// short text spares the file's making and removal (a run from Python makes
// thousands).
constexpr std::size_t kInMemory = std::size_t{1} << 20;

}  // namespace

void SpoolOutput::write(const char* data, std::size_t size) {
  size_ += size;
  if (file_ == nullptr && !triedFile_ && memory_.size() + size > kInMemory) {
    triedFile_ = true;
    file_ = std::tmpfile();
    if (file_ != nullptr) {
      if (std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size()) failed_ = true;
      std::string().swap(memory_);
    }
  }
  if (file_ == nullptr) {
    memory_.append(data, size);
    return;
  }
  if (std::fwrite(data, 1, size, file_) != size) failed_ = true;
}

void SpoolOutput::clear() {
  memory_.clear();
  size_ = 0;
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
    triedFile_ = false;
  }
}

void SpoolOutput::readBack(const std::function<void(std::string_view)>& piece) {
  if (file_ == nullptr) {
    if (!memory_.empty()) piece(memory_);
    return;
  }
  std::fflush(file_);
  std::rewind(file_);
  std::string chunk;
  char buffer[1 << 16];
  while (std::fgets(buffer, sizeof buffer, file_) != nullptr) {
    chunk += buffer;
    if (chunk.size() >= sizeof buffer) {
      piece(chunk);
      chunk.clear();
    }
  }
  if (!chunk.empty()) piece(chunk);
  if (std::ferror(file_)) failed_ = true;
  std::fseek(file_, 0, SEEK_END);
}

void SpoolOutput::readBackBlocks(const std::function<void(std::string_view)>& block) {
  if (file_ == nullptr) {
    if (!memory_.empty()) block(memory_);
    return;
  }
  if (std::fflush(file_) != 0) failed_ = true;
  std::rewind(file_);
  std::string buffer(std::size_t{1} << 16, '\0');
  for (;;) {
    const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), file_);
    if (read > 0) block(std::string_view(buffer.data(), read));
    if (read < buffer.size()) break;
  }
  if (std::ferror(file_)) failed_ = true;
  std::fseek(file_, 0, SEEK_END);
}

}  // namespace velkor
