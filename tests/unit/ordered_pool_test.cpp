#include "pack/building/ordered_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace quillon::pack {
namespace {

using Pool = OrderedPool<int>;

// A flag that threads can wait for.
class Latch {
 public:
  void Open() {
    {
      const std::lock_guard lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

// Counts started jobs; the test can wait for a count.
class StartCounter {
 public:
  void Started() {
    {
      const std::lock_guard lock(mutex_);
      ++count_;
    }
    changed_.notify_all();
  }
  void WaitFor(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return count_ >= count; });
  }
  int count() {
    const std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

// `count` jobs of weight 1, each running run(index, worker).
std::vector<Pool::Job> UnitJobs(int count, const std::function<int(int index, int worker)>& run) {
  std::vector<Pool::Job> jobs;
  jobs.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) jobs.push_back({1, [run, i](int worker) { return run(i, worker); }});
  return jobs;
}

std::vector<int> Drain(Pool& pool) {
  std::vector<int> results;
  while (!pool.done()) results.push_back(pool.Next());
  return results;
}

TEST(OrderedPool, ResultsInListOrderWhateverOrderJobsFinishIn) {
  // Each job waits for the one after it: they finish last to first.
  for (const size_t threads : {4, 7}) {
    std::vector<Latch> finished(threads);
    std::vector<Pool::Job> jobs;
    std::vector<int> expected;
    for (size_t i = 0; i < threads; ++i) {
      jobs.push_back({1, [&finished, i, threads](int) {
                        if (i + 1 < threads) finished[i + 1].Wait();
                        finished[i].Open();
                        return static_cast<int>(i) * 10;
                      }});
      expected.push_back(static_cast<int>(i) * 10);
    }
    Pool pool(std::move(jobs), static_cast<int>(threads), 1000);
    EXPECT_EQ(Drain(pool), expected) << threads << " threads";
  }
}

TEST(OrderedPool, HeldWeightStaysWithinTheBudget) {
  // The first job holds on until the test lets it go: the jobs started
  // meanwhile must fit in the budget beside it. Any job beyond them may start
  // only once Next has handed weight back.
  struct Case {
    std::vector<int64_t> weights;
    int64_t budget;
    int startedBeforeNext;
  };
  const Case cases[] = {
      {{10, 10, 10, 10, 10, 10}, 30, 3},
      {{10, 5, 5, 11, 1}, 30, 3},
      {{10, 100, 10}, 30, 1},  // heavier than the budget: starts alone
      {{100, 10, 10}, 30, 1},
      {{0, 0, 0, 50}, 30, 4},
  };
  for (size_t n = 0; n < std::size(cases); ++n) {
    const Case& c = cases[n];
    Latch release;
    StartCounter started;
    std::atomic<bool> nextCalled = false;
    std::atomic<int> startedTooEarly = 0;
    std::vector<Pool::Job> jobs;
    for (size_t i = 0; i < c.weights.size(); ++i) {
      jobs.push_back({c.weights[i], [&, i](int) {
                        if (static_cast<int>(i) >= c.startedBeforeNext && !nextCalled) ++startedTooEarly;
                        started.Started();
                        if (i == 0) release.Wait();
                        return static_cast<int>(i);
                      }});
    }
    Pool pool(std::move(jobs), 4, c.budget);
    started.WaitFor(c.startedBeforeNext);
    nextCalled = true;
    release.Open();
    const std::vector<int> results = Drain(pool);
    EXPECT_EQ(results.size(), c.weights.size());
    EXPECT_EQ(startedTooEarly, 0) << "case " << n;
  }
}

TEST(OrderedPool, FailureComesOutInItsPlace) {
  for (const int threads : {1, 3}) {
    StartCounter started;
    {
      Pool pool(UnitJobs(8,
                         [&started](int i, int) {
                           started.Started();
                           if (i == 2) throw std::runtime_error("job 2 failed");
                           return i;
                         }),
                threads, 100);
      EXPECT_EQ(pool.Next(), 0);
      EXPECT_EQ(pool.Next(), 1);
      EXPECT_THROW((void)pool.Next(), std::runtime_error);
    }
    // One thread runs the jobs one after the other: none after the failure.
    if (threads == 1) {
      EXPECT_EQ(started.count(), 3);
    }
  }
}

TEST(OrderedPool, EndsWithResultsLeftAndJobsRunning) {
  Latch release;
  StartCounter started;
  {
    Pool pool(UnitJobs(50,
                       [&](int i, int) {
                         started.Started();
                         if (i == 1) release.Wait();
                         return i;
                       }),
              2, 10);
    EXPECT_EQ(pool.Next(), 0);
    started.WaitFor(2);
    release.Open();
  }                                // the pool ends here, with results not taken
  EXPECT_LE(started.count(), 11);  // job 0 and ten held at most
}

TEST(OrderedPool, WorkerNumbersAreThoseOfTheThreads) {
  // Per-thread state is indexed by the worker number: two jobs must never run
  // at once with the same number.
  constexpr int kThreads = 3;
  std::atomic<int> busy[kThreads] = {};
  std::atomic<int> clashes = 0;
  Pool pool(UnitJobs(200,
                     [&](int, int worker) {
                       if (worker < 0 || worker >= kThreads || busy[worker]++ != 0) ++clashes;
                       if (worker >= 0 && worker < kThreads) --busy[worker];
                       return worker;
                     }),
            kThreads, 1000);
  EXPECT_EQ(Drain(pool).size(), 200u);
  EXPECT_EQ(clashes, 0);
}

}  // namespace
}  // namespace quillon::pack
