// A few threads that take queued tasks and, when none is queued, make
// pieces of the text the caller is writing out in order (see PieceWriter).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/piece_writer.h"

namespace velkor {

class JobPool final : public PieceWriter {
 public:
  // One task: posted to the pool, taken by a thread of the pool, or
  // claimed back by the caller before any did. The caller keeps it alive
  // until it is done or the pool is gone.
  struct Task {
    std::function<void()> run;  // must not throw
   private:
    friend class JobPool;
    enum class State { kNew, kQueued, kRunning, kDone } state = State::kNew;
  };

  // Starts up to `helpers` threads (fewer when the system has no more to
  // give; with none, every task and piece runs on the caller's thread).
  // The pieces' texts are made in `texts`, which the caller may keep from
  // pool to pool: their room is then written once, not once a pool.
  JobPool(int helpers, std::vector<std::string>& texts);
  // Lets the tasks running finish, drops those still queued, and joins.
  ~JobPool() override;
  JobPool(const JobPool&) = delete;
  JobPool& operator=(const JobPool&) = delete;

  // Queues `task` (tasks are taken in the order posted).
  void post(Task& task);
  // Runs `task` on the caller's thread when no thread has started it
  // (true); false when one has.
  bool runIfWaiting(Task& task);
  // Waits until `task`, which a thread has started, is done, calling `tick`
  // at every `every` that passes meanwhile.
  void wait(Task& task, std::chrono::milliseconds every, const std::function<void()>& tick);

  void write(Output& out, std::size_t count, const std::function<void(std::size_t, Output&)>& make,
             const std::function<bool(std::size_t)>& written) override;

 private:
  struct Batch;
  void serve();
  // Makes piece k of the batch into its slot (the lock not held); a throw
  // is kept in the batch and stops it.
  void makePiece(Batch& batch, std::size_t k);
  // Whether the batch has a piece to hand out now.
  bool claimablePiece() const;
  // Hands out the batch's next piece and makes it (the lock released
  // meanwhile).
  void makeNextPiece(std::unique_lock<std::mutex>& hold);

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Task*> queue_;  // under the lock
  Batch* batch_ = nullptr;    // under the lock
  bool stopping_ = false;     // under the lock
  std::vector<std::string>& texts_;  // the pieces' texts, by slot, kept from batch to batch
  std::vector<std::thread> threads_;
};

}  // namespace velkor
