// Where a resumable tree enumeration stands.
#pragma once

namespace velkor {

enum class EnumerationState : int {
  kStart,      // not started: the next call begins with the first tree
  kRunning,    // a tree has been returned; the next call resumes after it
  kExhausted,  // every tree has been returned
};

}  // namespace velkor
