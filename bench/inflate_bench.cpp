// Inflate throughput: our decoder against zlib and libdeflate (in the i686
// build when bench/run.sh built libdeflate for it) on the same deflate
// streams, each entry decoded with its CRC-32 into a sink that keeps nothing.
//
//   inflate_bench prepare CORPUS [--cap-mb N] DIR...   compress the files below
//                                                      each DIR (libdeflate, level 6)
//   inflate_bench run CORPUS [--rounds N] [--only NAME] [--table-crc]
//                                                      decode and report MB/s (--only: one
//                                                      decoder, for profilers; --table-crc:
//                                                      our CRC without carry-less multiplication)
//
// The corpus file is prepared natively and read by both builds. Speeds count
// uncompressed bytes; each decoder's best round counts.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/crc.h"
#include "inflate/inflate.h"

#ifdef _WIN32
#include "base/crc_win32.h"
#endif

#ifdef QUILLON_BENCH_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {

struct Entry {
  uint32_t group;
  uint32_t size;  // uncompressed
  uint32_t crc;
  std::vector<uint8_t> data;  // raw deflate stream
};

struct Corpus {
  std::vector<std::string> groups;
  std::vector<Entry> entries;
};

void Put32(std::ofstream& out, uint32_t v) {
  out.write(reinterpret_cast<const char*>(&v), 4);
}

uint32_t Get32(const std::vector<uint8_t>& in, size_t& at) {
  uint32_t v = 0;
  std::memcpy(&v, in.data() + at, 4);
  at += 4;
  return v;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "inflate_bench: %s\n", what);
  std::exit(2);
}

#ifdef QUILLON_BENCH_LIBDEFLATE
int Prepare(const char* corpusPath, int argc, char** argv) {
  uint64_t cap = 100u << 20;
  std::vector<std::string> dirs;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--cap-mb") == 0 && i + 1 < argc) {
      cap = std::strtoull(argv[++i], nullptr, 10) << 20;
    } else {
      dirs.emplace_back(argv[i]);
    }
  }
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
  std::ofstream out(corpusPath, std::ios::binary);
  Put32(out, static_cast<uint32_t>(dirs.size()));
  for (const auto& dir : dirs) {
    Put32(out, static_cast<uint32_t>(dir.size()));
    out.write(dir.data(), static_cast<std::streamsize>(dir.size()));
  }
  for (uint32_t g = 0; g < dirs.size(); ++g) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dirs[g])) {
      if (e.is_regular_file() && e.file_size() > 0) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    uint64_t total = 0;
    uint64_t packed = 0;
    size_t count = 0;
    for (const auto& path : files) {
      if (total >= cap) break;
      const auto raw = ReadFile(path);
      std::vector<uint8_t> deflated(libdeflate_deflate_compress_bound(compressor, raw.size()));
      deflated.resize(
          libdeflate_deflate_compress(compressor, raw.data(), raw.size(), deflated.data(), deflated.size()));
      Put32(out, g);
      Put32(out, static_cast<uint32_t>(raw.size()));
      Put32(out, static_cast<uint32_t>(crc32(0, raw.data(), static_cast<uInt>(raw.size()))));
      Put32(out, static_cast<uint32_t>(deflated.size()));
      out.write(reinterpret_cast<const char*>(deflated.data()), static_cast<std::streamsize>(deflated.size()));
      total += raw.size();
      packed += deflated.size();
      ++count;
    }
    std::printf("%s: %zu files, %.1f MB, deflated to %.1f MB\n", dirs[g].c_str(), count, total / 1e6, packed / 1e6);
  }
  libdeflate_free_compressor(compressor);
  return 0;
}
#endif

Corpus Load(const char* path) {
  const auto bytes = ReadFile(path);
  if (bytes.size() < 4) Fail("corpus missing or empty; run prepare first");
  Corpus corpus;
  size_t at = 0;
  const uint32_t groups = Get32(bytes, at);
  for (uint32_t g = 0; g < groups; ++g) {
    const uint32_t length = Get32(bytes, at);
    corpus.groups.emplace_back(reinterpret_cast<const char*>(bytes.data() + at), length);
    at += length;
  }
  while (at < bytes.size()) {
    Entry e;
    e.group = Get32(bytes, at);
    e.size = Get32(bytes, at);
    e.crc = Get32(bytes, at);
    const uint32_t length = Get32(bytes, at);
    e.data.assign(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(at + length));
    at += length;
    corpus.entries.push_back(std::move(e));
  }
  return corpus;
}

class MemoryPackage final : public quillon::PackageSource {
 public:
  explicit MemoryPackage(const std::vector<uint8_t>& data) : data_(data) {}
  int32_t Read(void* buffer, int32_t count) override {
    const size_t n = std::min(static_cast<size_t>(count), data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return static_cast<int32_t>(n);
  }
  int32_t Seek(int32_t distance, quillon::SeekMethod) override {
    position_ = static_cast<size_t>(distance);
    return distance;
  }
  int32_t Size() override { return static_cast<int32_t>(data_.size()); }

 private:
  const std::vector<uint8_t>& data_;
  size_t position_ = 0;
};

// Keeps nothing; the writes' count is all a caller sees.
class NullSink final : public quillon::OutputSink {
 public:
  int32_t Write(const void*, int32_t count) override { return count; }
};

uint32_t DecodeQuillon(const Entry& e) {
  MemoryPackage package(e.data);
  NullSink sink;
  quillon::EntryTransfer transfer;
  transfer.package = &package;
  transfer.output = &sink;
  transfer.dataRemaining = static_cast<int32_t>(e.data.size());
  quillon::InflateEntry(transfer);
  return transfer.entryCrc ^ 0xFFFFFFFFu;
}

// zlib as an extractor uses it: a stream per entry, output in the same
// 32768-byte unit.
uint32_t DecodeZlib(const Entry& e) {
  static uint8_t out[32768];
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) Fail("inflateInit2");
  z.next_in = const_cast<Bytef*>(e.data.data());
  z.avail_in = static_cast<uInt>(e.data.size());
  uLong crc = crc32(0, nullptr, 0);
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_out = out;
    z.avail_out = sizeof(out);
    status = inflate(&z, Z_NO_FLUSH);
    crc = crc32(crc, out, static_cast<uInt>(sizeof(out) - z.avail_out));
  }
  inflateEnd(&z);
  return static_cast<uint32_t>(crc);
}

#ifdef QUILLON_BENCH_LIBDEFLATE
// libdeflate decodes a whole entry into one buffer: it has no streaming mode.
uint32_t DecodeLibdeflate(const Entry& e) {
  static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  static std::vector<uint8_t> out;
  if (out.size() < e.size) out.resize(e.size);
  size_t got = 0;
  if (libdeflate_deflate_decompress(d, e.data.data(), e.data.size(), out.data(), e.size, &got) != LIBDEFLATE_SUCCESS) {
    return 0;
  }
  return libdeflate_crc32(0, out.data(), got);
}
#endif

struct Decoder {
  const char* name;
  uint32_t (*decode)(const Entry&);
};

int Run(const char* corpusPath, int argc, char** argv) {
  int rounds = 5;
  const char* only = nullptr;
  bool tableCrc = false;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[i + 1];
    if (std::strcmp(argv[i], "--table-crc") == 0) tableCrc = true;
  }
  static quillon::CrcTable table;
  quillon::BuildCrcTable(&table);
  // As the stub decides (or the packager, natively).
#ifdef _WIN32
  table.carryless = !tableCrc && quillon::SystemAllowsCarrylessCrc(GetModuleHandleA("kernel32.dll"));
#else
  table.carryless = !tableCrc && quillon::ProcessorHasCarrylessMultiply();
#endif
  std::printf("quillon's CRC: %s\n", table.carryless ? "carry-less multiplication" : "tables");
  quillon::crcTable = &table;
  const Corpus corpus = Load(corpusPath);
  std::vector<Decoder> decoders = {
      {"quillon", DecodeQuillon},
      {"zlib", DecodeZlib},
#ifdef QUILLON_BENCH_LIBDEFLATE
      {"libdeflate", DecodeLibdeflate},
#endif
  };
  if (only != nullptr) {
    std::erase_if(decoders, [only](const Decoder& d) { return std::strcmp(d.name, only) != 0; });
    if (decoders.empty()) Fail("no such decoder");
  }
  // The ratios are quillon's speed over each other decoder's, from the same run.
  std::printf("%-28s %10s", "data (uncompressed MB)", "");
  for (const auto& d : decoders) std::printf(" %12s", d.name);
  for (size_t i = 1; i < decoders.size(); ++i) std::printf("  vs %-10s", decoders[i].name);
  std::printf("\n");
  for (uint32_t g = 0; g <= corpus.groups.size(); ++g) {
    const bool all = g == corpus.groups.size();
    uint64_t bytes = 0;
    for (const auto& e : corpus.entries) bytes += (all || e.group == g) ? e.size : 0;
    // Rounds alternate between the decoders, so a slow spell of the machine
    // does not fall on one of them alone; each keeps its best round.
    std::vector<double> best(decoders.size(), 1e30);
    for (int r = 0; r < rounds; ++r) {
      for (size_t i = 0; i < decoders.size(); ++i) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto& e : corpus.entries) {
          if (!all && e.group != g) continue;
          if (decoders[i].decode(e) != e.crc) Fail("wrong CRC");
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best[i] = std::min(best[i], took.count());
      }
    }
    std::vector<double> speeds;
    for (double b : best) speeds.push_back(static_cast<double>(bytes) / 1e6 / b);
    std::string name = all ? std::string("all") : corpus.groups[g];
    if (name.size() > 28) name = "..." + name.substr(name.size() - 25);
    std::printf("%-28s %7.1f MB", name.c_str(), static_cast<double>(bytes) / 1e6);
    for (double s : speeds) std::printf(" %7.1f MB/s", s);
    for (size_t i = 1; i < speeds.size(); ++i) std::printf("  %12.2fx", speeds[0] / speeds[i]);
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "run") == 0) return Run(argv[2], argc - 3, argv + 3);
#ifdef QUILLON_BENCH_LIBDEFLATE
  if (argc >= 4 && std::strcmp(argv[1], "prepare") == 0) return Prepare(argv[2], argc - 3, argv + 3);
#endif
  std::fprintf(stderr, "usage: inflate_bench prepare CORPUS [--cap-mb N] DIR... | run CORPUS [--rounds N]\n");
  return 2;
}
