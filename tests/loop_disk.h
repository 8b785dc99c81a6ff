// A file system of its own, for the power-cut tests and the benchmark: an
// image file on a loop device, mounted below a scratch folder, so that no
// other program's data is flushed with a run's and a copy of the image shows
// what a power cut would leave. FAT is mounted through fusefat (a FUSE
// program), since the kernel may lack vfat; it has no device to count
// flushes on. Needs root and the file system's tools: ready() says whether
// all went well.

#ifndef VORTRIM_TESTS_LOOP_DISK_H
#define VORTRIM_TESTS_LOOP_DISK_H

#include <filesystem>
#include <string>

class LoopDisk {
 public:
  // `file_system`: "ext4", "ext2", "xfs", "btrfs" or "vfat" (FAT32); `size`
  // as truncate takes it, or the least the file system allows.
  LoopDisk(const std::filesystem::path& dir, const std::string& file_system,
           const std::string& size = "");
  ~LoopDisk();
  LoopDisk(const LoopDisk&) = delete;
  LoopDisk& operator=(const LoopDisk&) = delete;

  bool ready() const { return ready_; }
  const std::filesystem::path& mounted() const { return mounted_; }

  // Device cache flushes so far; -1 where none are counted.
  long flushes() const;

  // Another program's file, synced: a journal commits all before it.
  bool commit() const;

  // Everything on the disk.
  bool sync() const;

  // What the image holds now, mounted read-write in `dir` until the copy
  // goes away.
  struct Copy {
    std::filesystem::path mounted;
    bool ready = false;
    ~Copy();
  };
  void copy_to(const std::filesystem::path& dir, Copy& copy) const;

 private:
  std::string file_system_;
  std::filesystem::path image_, mounted_;
  std::string device_;  // the loop device, if any
  bool ready_ = false;
};

#endif  // VORTRIM_TESTS_LOOP_DISK_H
