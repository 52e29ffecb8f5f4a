#include "support/job_pool.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <system_error>

#include "support/output.h"

namespace velkor {

namespace {

// A piece's text: appended to a string that keeps its room from one piece
// to the next.
class PieceText final : public Output {
 public:
  explicit PieceText(std::string& text) : text_(text) {}
  void write(const char* data, std::size_t size) override { text_.append(data, size); }

 private:
  std::string& text_;
};

constexpr std::size_t kNone = SIZE_MAX;

}  // namespace

// The pieces of one text being written: piece k is made into slot
// k % window, and is handed out only once piece k - window is written, so
// that a slot is never filled again before it is out.
struct JobPool::Batch {
  const std::function<void(std::size_t, Output&)>* make = nullptr;
  std::size_t window = 0;
  std::size_t next = 0;            // the next piece to hand out
  std::size_t written = 0;         // pieces written out
  std::size_t making = 0;          // pieces being made
  std::vector<std::size_t> made;   // by slot: the piece it holds, made (kNone: none)
  // The pieces before this one are written: all of them, or up to the
  // first that threw, or up to the caller's stop.
  std::size_t end = 0;
  std::exception_ptr thrown;  // the first piece's (in piece order) that threw
};

JobPool::JobPool(int helpers, std::vector<std::string>& texts) : texts_(texts) {
  for (int k = 0; k < helpers; ++k) {
    try {
      threads_.emplace_back([this] { serve(); });
    } catch (const std::system_error&) {
      break;  // the threads started are enough
    }
  }
}

JobPool::~JobPool() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void JobPool::post(Task& task) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    task.state = Task::State::kQueued;
    queue_.push_back(&task);
  }
  changed_.notify_all();
}

bool JobPool::runIfWaiting(Task& task) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (task.state == Task::State::kRunning || task.state == Task::State::kDone) return false;
    queue_.erase(std::remove(queue_.begin(), queue_.end(), &task), queue_.end());
    task.state = Task::State::kRunning;
  }
  task.run();
  {
    std::lock_guard<std::mutex> hold(lock_);
    task.state = Task::State::kDone;
  }
  return true;
}

void JobPool::wait(Task& task, std::chrono::milliseconds every, const std::function<void()>& tick) {
  std::unique_lock<std::mutex> hold(lock_);
  while (task.state != Task::State::kDone) {
    if (!changed_.wait_for(hold, every, [&] { return task.state == Task::State::kDone; })) {
      hold.unlock();
      tick();
      hold.lock();
    }
  }
}

bool JobPool::claimablePiece() const {
  return batch_ != nullptr && batch_->next < batch_->end && batch_->next < batch_->written + batch_->window;
}

void JobPool::makePiece(Batch& batch, std::size_t k) {
  const std::size_t slot = k % batch.window;
  std::string& text = texts_[slot];
  text.clear();
  std::exception_ptr thrown;
  try {
    PieceText out(text);
    (*batch.make)(k, out);
  } catch (...) {
    thrown = std::current_exception();
  }
  std::lock_guard<std::mutex> hold(lock_);
  if (thrown) {
    if (k < batch.end) {
      batch.end = k;
      batch.thrown = thrown;
    }
  } else {
    batch.made[slot] = k;
  }
  --batch.making;
}

void JobPool::serve() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return stopping_ || claimablePiece() || !queue_.empty(); });
    if (stopping_) return;
    // Tasks first: each readies a text that the caller will wait for, and
    // the pieces of the text being written the caller makes too.
    if (!queue_.empty()) {
      Task* task = queue_.front();
      queue_.erase(queue_.begin());
      task->state = Task::State::kRunning;
      hold.unlock();
      task->run();
      hold.lock();
      task->state = Task::State::kDone;
      changed_.notify_all();
      continue;
    }
    makeNextPiece(hold);
  }
}

void JobPool::makeNextPiece(std::unique_lock<std::mutex>& hold) {
  Batch& batch = *batch_;
  const std::size_t k = batch.next++;
  ++batch.making;
  hold.unlock();
  makePiece(batch, k);
  changed_.notify_all();
  hold.lock();
}

void JobPool::write(Output& out, std::size_t count, const std::function<void(std::size_t, Output&)>& make,
                    const std::function<bool(std::size_t)>& written) {
  if (count == 0) return;
  Batch batch;
  batch.end = count;
  batch.make = &make;
  // Enough pieces ahead that every thread has one to make while the
  // caller writes out another.
  batch.window = 2 * (threads_.size() + 1) + 2;
  batch.made.assign(batch.window, kNone);
  if (texts_.size() < batch.window) texts_.resize(batch.window);
  {
    std::lock_guard<std::mutex> hold(lock_);
    batch_ = &batch;
  }
  changed_.notify_all();
  // However this ends, no piece is being made once it returns.
  struct Finish {
    JobPool& pool;
    Batch& batch;
    ~Finish() {
      std::unique_lock<std::mutex> hold(pool.lock_);
      batch.end = std::min(batch.end, batch.next);
      pool.changed_.wait(hold, [this] { return batch.making == 0; });
      pool.batch_ = nullptr;
    }
  };
  {
    Finish finish{*this, batch};
    for (std::size_t w = 0; w < count; ++w) {
      const std::size_t slot = w % batch.window;
      {
        std::unique_lock<std::mutex> hold(lock_);
        // The caller makes pieces too while the one it must write next is
        // not ready.
        while (batch.made[slot] != w && w < batch.end) {
          if (claimablePiece())
            makeNextPiece(hold);
          else
            changed_.wait(hold);
        }
        if (w >= batch.end || batch.made[slot] != w) break;
      }
      out.write(texts_[slot].data(), texts_[slot].size());
      const bool more = written(w);
      {
        std::lock_guard<std::mutex> hold(lock_);
        batch.written = w + 1;
        batch.made[slot] = kNone;
        if (!more) batch.end = std::min(batch.end, w + 1);
      }
      changed_.notify_all();
      if (!more) break;
    }
  }
  if (batch.thrown) std::rethrow_exception(batch.thrown);
}

}  // namespace velkor
