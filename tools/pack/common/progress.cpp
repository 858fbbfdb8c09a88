#include "common/progress.h"

#include <cstdio>

namespace quillon::pack {

namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(250);

std::string OneDecimal(double value) {
  char text[32];
  (void)std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

std::string FormatSize(int64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  const char* const units[] = {"KiB", "MiB", "GiB"};
  auto value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  // 1023.95 MiB would be shown as 1024.0 MiB: move on at the rounded value.
  while (value >= 1023.95 && unit + 1 < std::size(units)) {
    value /= 1024;
    ++unit;
  }
  return OneDecimal(value) + " " + units[unit];
}

std::string SummaryLine(const Summary& summary) {
  std::string line = "quillon-pack: " + std::to_string(summary.files) + (summary.files == 1 ? " file, " : " files, ") +
                     FormatSize(summary.inputBytes) + " packed into " + FormatSize(summary.outputBytes);
  // The stub alone makes a tiny package larger than its input.
  if (summary.inputBytes > 0 && summary.outputBytes <= summary.inputBytes) {
    line += " (" +
            OneDecimal(100.0 * static_cast<double>(summary.outputBytes) / static_cast<double>(summary.inputBytes)) +
            " %)";
  }
  line += " in " + OneDecimal(summary.seconds) + " s";
  if (!summary.parts.empty()) {
    const size_t count = summary.parts.size();
    line +=
        "; split into the program file and " + std::to_string(count) + (count == 1 ? " part file, " : " part files, ");
    line += count == 1 ? summary.parts.front() : summary.parts.front() + " to " + summary.parts.back();
  }
  return line;
}

ProgressLine::ProgressLine(bool show, int64_t totalFiles, int64_t totalBytes)
    : totalFiles_(totalFiles), totalBytes_(totalBytes) {
  if (show && totalBytes >= kProgressThreshold) refresher_ = std::thread([this] { Refresh(); });
}

ProgressLine::~ProgressLine() {
  Stop();
}

void ProgressLine::Add(int64_t files, int64_t bytes) {
  files_ += files;
  bytes_ += bytes;
}

void ProgressLine::Stop() {
  if (!refresher_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  refresher_.join();
  // Back to the start of the line, which is then erased.
  (void)std::fputs("\r\033[K", stderr);
  (void)std::fflush(stderr);
}

void ProgressLine::Refresh() {
  std::unique_lock lock(mutex_);
  do {
    Draw();
  } while (!stopped_.wait_for(lock, kRefreshInterval, [this] { return stopping_; }));
}

void ProgressLine::Draw() {
  const int64_t bytes = bytes_;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  std::string line = "\rquillon-pack: " + FormatSize(bytes) + " of " + FormatSize(totalBytes_) + ", " +
                     std::to_string(files_) + " of " + std::to_string(totalFiles_) + " files";
  if (elapsed.count() >= 0.5) {
    line += ", " + FormatSize(static_cast<int64_t>(static_cast<double>(bytes) / elapsed.count())) + "/s";
  }
  line += "\033[K";
  (void)std::fputs(line.c_str(), stderr);
  (void)std::fflush(stderr);
}

}  // namespace quillon::pack
