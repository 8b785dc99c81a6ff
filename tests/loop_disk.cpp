#include "tests/loop_disk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// How each file system is made: its least size, mkfs and options for the
// copy's mount (an XFS copy has its original's identity).
struct Kind {
  const char* name;
  const char* size;
  const char* mkfs;
  const char* copy_options;
};

// 4 KiB blocks as on a real disk, and nothing initialised later behind the
// runs' backs.
constexpr Kind kKinds[] = {
    {"ext4", "16M", "mkfs.ext4 -q -F -b 4096 -E lazy_itable_init=0,lazy_journal_init=0", ""},
    {"ext2", "16M", "mkfs.ext2 -q -F -b 4096 -E lazy_itable_init=0", ""},
    {"xfs", "300M", "mkfs.xfs -q -f", "nouuid"},
    {"btrfs", "128M", "mkfs.btrfs -q -f", ""},
    {"vfat", "64M", "mkfs.vfat -F 32", ""},
};

bool command(const std::string& line) {
  return std::system((line + " >/dev/null 2>&1").c_str()) == 0;
}

std::string command_output(const std::string& line) {
  std::FILE* p = popen((line + " 2>/dev/null").c_str(), "r");
  if (p == nullptr) return {};
  char text[256] = "";
  const bool read = std::fgets(text, sizeof text, p) != nullptr;
  pclose(p);
  std::string out = read ? text : "";
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

const Kind* kind_of(const std::string& file_system) {
  for (const Kind& k : kKinds) {
    if (file_system == k.name) return &k;
  }
  return nullptr;
}

// Mounts `image` (a device for a loop disk) at `at`.
bool mount(const std::string& file_system, const std::string& image, const fs::path& at,
           const std::string& options) {
  if (file_system == "vfat") return command("fusefat -o rw+ " + image + " " + at.string());
  return command("mount -t " + file_system + (options.empty() ? "" : " -o " + options) + " " +
                 image + " " + at.string());
}

}  // namespace

LoopDisk::LoopDisk(const fs::path& dir, const std::string& file_system, const std::string& size)
    : file_system_(file_system), image_(dir / "disk.img"), mounted_(dir / "disk") {
  const Kind* kind = kind_of(file_system);
  if (geteuid() != 0 || kind == nullptr) return;
  fs::create_directory(mounted_);
  if (!command("truncate -s " + (size.empty() ? std::string(kind->size) : size) + " " +
               image_.string() + " && " + kind->mkfs + " " + image_.string())) {
    return;
  }
  std::string source = image_.string();
  if (file_system != "vfat") {
    device_ = command_output("losetup --find --show " + image_.string());
    if (device_.empty()) return;
    source = device_;
  }
  ready_ = mount(file_system, source, mounted_, "");
}

LoopDisk::~LoopDisk() {
  if (ready_) command("umount " + mounted_.string());
  if (!device_.empty()) command("losetup -d " + device_);
}

long LoopDisk::flushes() const {
  if (device_.empty()) return -1;
  std::ifstream stat("/sys/block/" + fs::path(device_).filename().string() + "/stat");
  long field = -1;
  for (int i = 0; i < 16 && stat >> field; ++i) {
  }
  return stat ? field : -1;
}

bool LoopDisk::commit() const {
  const fs::path other = mounted_ / "other";
  const int fd = open(other.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const bool committed = fd >= 0 && write(fd, "x", 1) == 1 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  fs::remove(other);
  return committed;
}

bool LoopDisk::sync() const {
  const int fd = open(mounted_.c_str(), O_RDONLY | O_DIRECTORY);
  const bool synced = fd >= 0 && syncfs(fd) == 0;
  if (fd >= 0) close(fd);
  return synced;
}

LoopDisk::Copy::~Copy() {
  if (ready) command("umount " + mounted.string());
}

void LoopDisk::copy_to(const fs::path& dir, Copy& copy) const {
  copy.mounted = dir / "copy";
  fs::create_directory(copy.mounted);
  const std::string image = (dir / "copy.img").string();
  const Kind* kind = kind_of(file_system_);
  // Sparse, as the image is: most of an XFS disk is empty.
  copy.ready = command("cp --sparse=always " + image_.string() + " " + image) &&
               mount(file_system_, file_system_ == "vfat" ? image : "-o loop " + image,
                     copy.mounted, kind->copy_options);
}
