// Output kept aside to be read back later: in memory while it is short,
// then in a temporary file, so that a long text costs no memory (or in
// memory still when no file can be made).
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "support/output.h"

namespace velkor {

class SpoolOutput final : public Output {
 public:
  SpoolOutput() = default;
  SpoolOutput(const SpoolOutput&) = delete;
  SpoolOutput& operator=(const SpoolOutput&) = delete;
  ~SpoolOutput() override;

  void write(const char* data, std::size_t size) override;
  bool failed() const override { return failed_; }
  bool empty() const { return size_ == 0; }
  // The bytes written.
  std::size_t size() const { return size_; }
  // Forgets what was written.
  void clear();
  // Reads everything written back, in pieces of whole lines where the text
  // has them.
  void readBack(const std::function<void(std::string_view)>& piece);
  // Reads everything written back in blocks of up to 64 KiB, wherever
  // they end.
  void readBackBlocks(const std::function<void(std::string_view)>& block);

 private:
  std::FILE* file_ = nullptr;
  bool triedFile_ = false;
  std::string memory_;
  std::size_t size_ = 0;
  bool failed_ = false;
};

}  // namespace velkor
