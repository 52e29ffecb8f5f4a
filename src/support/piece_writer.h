// A text made in pieces by several threads at once and written out in
// order: the printing of one long polynomial shared among the jobs.
#pragma once

#include <cstddef>
#include <functional>

namespace velkor {

class Output;

class PieceWriter {
 public:
  virtual ~PieceWriter() = default;
  // Makes pieces 0 to count - 1 of a text, each by make(k, text) into a
  // text of its own, on whichever threads are free (several at once), and
  // writes them to `out` in order on the calling thread. After each piece
  // written, written(k) is called there; a false return stops the rest.
  // Returns once no piece is being made; what a `make` threw is thrown
  // again then (the first, if several threw), and nothing after the piece
  // that threw is written.
  virtual void write(Output& out, std::size_t count, const std::function<void(std::size_t, Output&)>& make,
                     const std::function<bool(std::size_t)>& written) = 0;
};

}  // namespace velkor
