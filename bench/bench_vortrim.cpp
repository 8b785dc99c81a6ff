// How long the real work takes next to the least any program could do with
// the same files: loading and reporting a full bank against one plain read of
// it, and extracting it against writes of the same 128 files that are just
// as safe (each to a temporary file, synced, renamed into place).
//
// Targets: load + report within 2x the plain read; extraction within 1.2x the
// safe writes. Extraction against plain writes (fopen, fwrite, fclose) is
// printed too: what whole-or-absent files cost. Absolute times depend on the
// machine; the ratios are what to compare.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bank/bank_image.h"
#include "bench/full_bank.h"
#include "output/extract.h"
#include "output/report.h"
#include "tests/bank_builder.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
  fs::path dir;        // scratch, removed at the end
  std::string bank;    // the full bank file
  std::string out;     // extraction directory
  std::FILE* sink;     // where reports go
  std::vector<std::pair<std::string, std::vector<unsigned char>>> files;  // name, bytes
};

Fixture& fixture() {
  static Fixture f = [] {
    Fixture x;
    std::string pattern = (fs::temp_directory_path() / "vortrim-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    x.dir = pattern;
    x.bank = (x.dir / "FULL.KAA").string();
    x.out = (x.dir / "out").string();
    fs::create_directory(x.out);
    const TestBank bank = full_bank();
    for (const TestPatch& p : bank.patches) {
      x.files.emplace_back(x.out + "/plain" + std::to_string(p.slot) + ".KA1", patch_bytes(p));
    }
    if (!write_bytes(x.bank, build_bank(bank))) std::abort();
    x.sink = std::fopen("/dev/null", "w");
    if (x.sink == nullptr) std::abort();
    return x;
  }();
  return f;
}

void BM_PlainRead(benchmark::State& state) {
  std::vector<unsigned char> buffer(kHeaderSize + kMemorySize);
  for (auto _ : state) {
    std::FILE* in = std::fopen(fixture().bank.c_str(), "rb");
    benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), in));
    std::fclose(in);
  }
}

void BM_LoadAndReport(benchmark::State& state) {
  auto image = std::make_unique<BankImage>();
  for (auto _ : state) {
    std::FILE* in = std::fopen(fixture().bank.c_str(), "rb");
    std::string err;
    if (!load_bank(*image, in, &err)) state.SkipWithError(err.c_str());
    std::fclose(in);
    print_report(fixture().sink, *image, "FULL.KAA", true);
  }
}

void BM_PlainWrite(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& [path, bytes] : fixture().files) {
      std::FILE* f = std::fopen(path.c_str(), "wb+");
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  }
}

void BM_SafeWrite(benchmark::State& state) {
  const std::string temp = fixture().out + "/plain.tmp";
  for (auto _ : state) {
    for (const auto& [path, bytes] : fixture().files) {
      const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      benchmark::DoNotOptimize(write(fd, bytes.data(), bytes.size()));
      fsync(fd);
      close(fd);
      std::rename(temp.c_str(), path.c_str());
    }
  }
}

void BM_Extract(benchmark::State& state) {
  auto image = std::make_unique<BankImage>();
  std::FILE* in = std::fopen(fixture().bank.c_str(), "rb");
  std::string err;
  if (!load_bank(*image, in, &err)) state.SkipWithError(err.c_str());
  std::fclose(in);
  for (auto _ : state) extract_patches(fixture().sink, *image, fixture().out);
}

BENCHMARK(BM_PlainRead);
BENCHMARK(BM_LoadAndReport);
BENCHMARK(BM_PlainWrite);
BENCHMARK(BM_SafeWrite);
BENCHMARK(BM_Extract);

// Prints as usual and keeps each benchmark's time per iteration (with
// repetitions, the median is what the ratios use).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colour codes only on a terminal, not in a redirected log.
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto ratio = [&](const char* work, const char* floor, double target) {
    const auto time = [&](const std::string& name) {
      const auto median = reporter.times.find(name + "_median");
      return median != reporter.times.end() ? median : reporter.times.find(name);
    };
    const auto w = time(work);
    const auto f = time(floor);
    if (w == reporter.times.end() || f == reporter.times.end()) return;
    std::printf("%-18s / %-14s = %.2f", work, floor, w->second / f->second);
    if (target > 0) std::printf(" (target %.1f)", target);
    std::printf("\n");
  };
  std::printf("\n");
  ratio("BM_LoadAndReport", "BM_PlainRead", 2.0);
  ratio("BM_Extract", "BM_SafeWrite", 1.2);
  ratio("BM_Extract", "BM_PlainWrite", 0);
  std::fclose(fixture().sink);
  std::error_code ec;
  fs::remove_all(fixture().dir, ec);
  benchmark::Shutdown();
  return 0;
}
