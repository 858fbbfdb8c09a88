// Runs a list of jobs on worker threads and hands their results out in the
// order of the list, whatever order they finish in.
//
// Memory stays bounded: each job has a weight (the bytes it will hold), and a
// job is started only while the weights of the jobs started but not yet
// handed out stay within the budget; a job heavier than the whole budget
// starts when nothing else is held. Jobs start in list order, so the job to be
// handed out next has always been started or may start at once.
//
// A job that throws ends the starting of further jobs; its exception comes out
// of Next in its place, after the results of every job before it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillon::pack {

template <typename Result>
class OrderedPool {
 public:
  struct Job {
    int64_t weight = 0;
    std::function<Result(int worker)> run;  // worker: 0 .. threads - 1, for per-thread state
  };

  OrderedPool(std::vector<Job> jobs, int threads, int64_t budget)
      : jobs_(std::move(jobs)), slots_(jobs_.size()), budget_(budget) {
    workers_.reserve(static_cast<size_t>(threads));
    for (int worker = 0; worker < threads; ++worker) workers_.emplace_back([this, worker] { Work(worker); });
  }

  // Stops the workers: a job that is running is finished, none is started.
  ~OrderedPool() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    workChanged_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  OrderedPool(const OrderedPool&) = delete;
  OrderedPool& operator=(const OrderedPool&) = delete;

  [[nodiscard]] bool done() const { return handed_ == jobs_.size(); }

  // The result of the next job in list order, once it is there; rethrows what
  // that job threw. Not to be called once done().
  Result Next() {
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[handed_];
    resultReady_.wait(lock, [&] { return slot.finished; });
    held_ -= jobs_[handed_].weight;
    ++handed_;
    lock.unlock();
    workChanged_.notify_all();
    if (slot.error) std::rethrow_exception(slot.error);
    Result result = std::move(*slot.result);
    slot.result.reset();
    return result;
  }

 private:
  struct Slot {
    bool finished = false;
    std::optional<Result> result;
    std::exception_ptr error;
  };

  [[nodiscard]] bool MayStartNext() const {
    if (started_ == jobs_.size() || failed_) return false;
    const int64_t weight = jobs_[started_].weight;
    return held_ == 0 || held_ + weight <= budget_;
  }

  void Work(int worker) {
    std::unique_lock lock(mutex_);
    while (true) {
      workChanged_.wait(lock, [&] { return stopping_ || failed_ || started_ == jobs_.size() || MayStartNext(); });
      if (stopping_ || !MayStartNext()) return;
      const size_t index = started_++;
      held_ += jobs_[index].weight;
      lock.unlock();
      std::optional<Result> result;
      std::exception_ptr error;
      try {
        result.emplace(jobs_[index].run(worker));
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      Slot& slot = slots_[index];
      slot.result = std::move(result);
      slot.error = error;
      slot.finished = true;
      if (error) failed_ = true;
      resultReady_.notify_all();
    }
  }

  std::vector<Job> jobs_;
  std::vector<Slot> slots_;
  const int64_t budget_;
  std::mutex mutex_;
  std::condition_variable workChanged_;  // weight handed back, a failure, or the end
  std::condition_variable resultReady_;
  size_t started_ = 0;
  size_t handed_ = 0;
  int64_t held_ = 0;
  bool failed_ = false;
  bool stopping_ = false;
  std::vector<std::thread> workers_;  // last: they start when everything else is set up
};

}  // namespace quillon::pack
