// How long the real work takes next to the least any program could do with
// the same files:
//   - loading and reporting a full bank against one plain read of it;
//   - extracting it against writes of the same 128 files that are just as
//     safe (each to a temporary file, closed, renamed into place; one flush
//     of the file system and the folder at the end), in this process;
//   - whole runs of `vortrim -l -e` (program 0: the static build of the
//     .tar.gz; 1: the dynamic one of the .deb; 3: the portable POSIX write
//     path of macOS and the BSDs, static) against whole runs of the floor
//     program (2: baseline.c, the same safe writes; 4: the same with each
//     file flushed before its name, as POSIX calls alone allow) on an ext4 disk of
//     their own, a loop device, so that no other program's data is flushed
//     with theirs: into an empty folder (earlier:0) and over an earlier run's
//     files (earlier:1). These need root and are skipped without it; they
//     also count the device's flushes.
//
// Targets: load + report within 2x the plain read; extraction and whole runs
// within 1.2x their floors. Extraction against plain writes (fopen, fwrite,
// fclose) is printed too: what whole-or-absent files cost. Absolute times
// depend on the machine; the ratios are what to compare.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/bank_image.h"
#include "bench/full_bank.h"
#include "os/extract.h"
#include "core/report.h"
#include "tests/bank_builder.h"
#include "tests/loop_disk.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
  fs::path dir;        // scratch, removed at the end
  std::string bank;    // the full bank file
  std::string out;     // extraction directory
  std::FILE* sink;     // where reports go
  std::vector<std::pair<std::string, std::vector<unsigned char>>> files;  // name, bytes
  // An ext4 file system of 64 MiB on a loop device, for whole runs; not
  // ready without root or loop devices.
  std::unique_ptr<LoopDisk> disk;
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
    x.disk = std::make_unique<LoopDisk>(x.dir, "ext4", "64M");
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
  const int dir = open(fixture().out.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const std::string temp = fixture().out + "/plain.tmp";
  for (auto _ : state) {
    for (const auto& [path, bytes] : fixture().files) {
      const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      benchmark::DoNotOptimize(write(fd, bytes.data(), bytes.size()));
      close(fd);
      std::rename(temp.c_str(), path.c_str());
    }
    syncfs(dir);
    fsync(dir);
  }
  close(dir);
}

void BM_Extract(benchmark::State& state) {
  auto image = std::make_unique<BankImage>();
  std::FILE* in = std::fopen(fixture().bank.c_str(), "rb");
  std::string err;
  if (!load_bank(*image, in, &err)) state.SkipWithError(err.c_str());
  std::fclose(in);
  for (auto _ : state) extract_patches(fixture().sink, *image, fixture().out);
}

// A whole run of `program` with `args`, its output thrown away.
void run(const char* program, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int status = 1;
  if (posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ) == 0) {
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) std::abort();
}

// The programs whole runs are timed for.
enum Program { kStatic, kDynamic, kFloor, kPortable, kFloorEach };

// Whole runs of a program on the loop disk, into an empty folder or (range 1)
// over an earlier run's files.
void BM_WholeRun(benchmark::State& state) {
  const Fixture& x = fixture();
  if (!x.disk->ready()) {
    state.SkipWithError("needs root and a loop device");
    return;
  }
  const auto program = static_cast<Program>(state.range(0));
  const bool earlier = state.range(1) == 1;
  const fs::path out =
      x.disk->mounted() / ("out" + std::to_string(program) + "-" + std::to_string(earlier));
  const auto empty_folder = [&] {
    fs::remove_all(out);
    fs::create_directory(out);
    x.disk->sync();
  };
  std::vector<std::string> args{"-i" + x.bank, "-l", "-e" + out.string()};
  if (program == kFloor) args = {x.bank, out.string()};
  if (program == kFloorEach) args = {x.bank, out.string(), "each"};
  const char* const paths[] = {VORTRIM_STATIC, VORTRIM_DYNAMIC, VORTRIM_FLOOR, VORTRIM_PORTABLE,
                               VORTRIM_FLOOR};
  const char* path = paths[program];
  empty_folder();
  if (earlier) run(path, args);
  long flushes = 0;
  for (auto _ : state) {
    if (!earlier) {
      state.PauseTiming();
      empty_folder();
      state.ResumeTiming();
    }
    const long before = x.disk->flushes();
    run(path, args);
    flushes += x.disk->flushes() - before;
  }
  state.counters["flushes"] = benchmark::Counter(static_cast<double>(flushes),
                                                 benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_PlainRead);
BENCHMARK(BM_LoadAndReport);
BENCHMARK(BM_PlainWrite);
BENCHMARK(BM_SafeWrite);
BENCHMARK(BM_Extract);
BENCHMARK(BM_WholeRun)
    ->ArgNames({"program", "earlier"})
    ->ArgsProduct({{kStatic, kDynamic, kFloor, kPortable, kFloorEach}, {0, 1}})
    ->UseRealTime();

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
    std::printf("%-40s / %-40s = %.2f", work, floor, w->second / f->second);
    if (target > 0) std::printf(" (target %.1f)", target);
    std::printf("\n");
  };
  std::printf("\n");
  ratio("BM_LoadAndReport", "BM_PlainRead", 2.0);
  ratio("BM_Extract", "BM_SafeWrite", 1.2);
  ratio("BM_Extract", "BM_PlainWrite", 0);
  for (const char* earlier : {"0", "1"}) {
    const std::string floor =
        std::string("BM_WholeRun/program:2/earlier:") + earlier + "/real_time";
    const auto whole_run = [&](const char* program) {
      return std::string("BM_WholeRun/program:") + program + "/earlier:" + earlier + "/real_time";
    };
    for (const char* program : {"0", "1"}) ratio(whole_run(program).c_str(), floor.c_str(), 1.2);
    // The portable path against the same floor, and against one as safe
    // with POSIX calls alone (informational: Linux builds the other path).
    ratio(whole_run("3").c_str(), floor.c_str(), 0);
    ratio(whole_run("3").c_str(), whole_run("4").c_str(), 0);
  }
  std::fclose(fixture().sink);
  fixture().disk.reset();
  std::error_code ec;
  fs::remove_all(fixture().dir, ec);
  benchmark::Shutdown();
  return 0;
}
