// The two ends that the package logic moves bytes between: the open package
// (read and positioned) and an entry's output file (written). The stub backs
// them with Win32 handles; host tools, tests, fuzzers and benchmarks back them
// with memory or POSIX files. Calls move whole blocks, so the indirection costs
// nothing measurable.
#pragma once

#include <cstdint>

namespace quillon {

enum class SeekMethod : uint32_t { FromStart = 0, FromEnd = 2 };

class PackageSource {
 public:
  // Reads up to count bytes at the current position. Returns the count read:
  // 0 at the end of the file or on failure.
  [[nodiscard]] virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Moves to distance from the start or the end of the file. Returns the new
  // position, or -1 when the move fails (before the start, or past 2^31 - 2).
  virtual int32_t Seek(int32_t distance, SeekMethod method) = 0;
  // Size of the file in bytes, or -1 when it cannot be told.
  [[nodiscard]] virtual int32_t Size() = 0;

 protected:
  PackageSource() = default;
  PackageSource(const PackageSource&) = default;
  PackageSource& operator=(const PackageSource&) = default;
  ~PackageSource() = default;
};

// Reads until count bytes have arrived or a read delivers nothing, as a read
// may deliver less than asked without being at the end. Returns the count
// read.
[[nodiscard]] int32_t ReadFully(PackageSource& source, void* buffer, int32_t count);

class OutputSink {
 public:
  // Writes count bytes. Returns the count written; less than count on failure.
  [[nodiscard]] virtual int32_t Write(const void* buffer, int32_t count) = 0;

 protected:
  OutputSink() = default;
  OutputSink(const OutputSink&) = default;
  OutputSink& operator=(const OutputSink&) = default;
  ~OutputSink() = default;
};

}  // namespace quillon
