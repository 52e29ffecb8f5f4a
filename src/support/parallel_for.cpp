#include "support/parallel_for.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace velkor {

void parallelFor(std::size_t count, int jobs, const std::function<void(std::size_t)>& body) {
  const std::size_t threads = jobs > 1 ? std::min<std::size_t>(static_cast<std::size_t>(jobs), count) : 1;
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) body(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex lock;
  std::exception_ptr thrown;
  auto work = [&] {
    for (std::size_t i = next.fetch_add(1); i < count && !failed.load(); i = next.fetch_add(1)) {
      try {
        body(i);
      } catch (...) {
        std::lock_guard<std::mutex> hold(lock);
        if (!thrown) thrown = std::current_exception();
        failed.store(true);
      }
    }
  };
  std::vector<std::thread> helpers;
  for (std::size_t t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // no thread to be had: those started and the caller's do the work
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  if (thrown) std::rethrow_exception(thrown);
}

}  // namespace velkor
