// What the packager tells its user while it works and when it is done: a
// progress line on a terminal, and a one-line summary.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::pack {

// Input of at least this size is long work, worth a progress line.
constexpr int64_t kProgressThreshold = int64_t{16} << 20;

// "512 bytes", "12.3 KiB", "45.6 MiB", "1.2 GiB".
[[nodiscard]] std::string FormatSize(int64_t bytes);

struct Summary {
  int64_t files = 0;
  int64_t inputBytes = 0;
  int64_t outputBytes = 0;
  double seconds = 0;
  std::vector<std::string> parts;  // the names of the part files written
};

// "quillon-pack: 1636 files, 337.8 MiB packed into 102.3 MiB (30.3 %) in
// 18.4 s", and for a split installer "; split into the program file and 3
// part files, setup.001 to setup.003". No share is given where the stub makes
// the installer larger than its input.
[[nodiscard]] std::string SummaryLine(const Summary& summary);

// The progress line: redrawn in place on standard error a few times a
// second, from its own thread, while the work goes on; cleared by Stop and by
// the destructor, so that a message or the summary that follows starts on a
// clean line.
class ProgressLine {
 public:
  // Draws only when `show` is set and totalBytes is long work.
  ProgressLine(bool show, int64_t totalFiles, int64_t totalBytes);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Counts work done; any thread may call it.
  void Add(int64_t files, int64_t bytes);

  void Stop();

 private:
  void Refresh();
  void Draw();

  const int64_t totalFiles_;
  const int64_t totalBytes_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::atomic<int64_t> files_ = 0;
  std::atomic<int64_t> bytes_ = 0;
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::thread refresher_;
};

}  // namespace quillon::pack
