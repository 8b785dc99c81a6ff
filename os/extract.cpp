#include "os/extract.h"

#include "core/messages.h"
#include "core/naming.h"
#include "os/host.h"
#include "os/patch_file.h"

bool extract_patches(std::FILE* out, const BankImage& image,
                     const std::string& destination, bool terminal) {
  const std::string dir = destination_path(destination, host_separator());
  std::fputs(extracting_to(dir).c_str(), out);
  PatchFolder* folder = open_patch_folder(dir);
  // Every patch is on its way to the disk before the first is named: the
  // disk writes them meanwhile instead of being waited for one by one.
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    // The loader guarantees that the patch lies within the data read.
    stage_patch_file(*folder, &image.data[e.offset], static_cast<std::size_t>(e.size));
  }
  // A name is taken if its file leads to one this run wrote.
  PatchNames names;
  names.rules = host_name_rules();
  names.text = host_text;
  names.taken = [&](const std::string& file) { return leads_to_written(*folder, file); };
  for (int i = 0; i < image.count; ++i) {
    const PatchFileName name = patch_file_name(names, stored_patch(image, i));
    std::string shown = name.file;
    if (terminal) mask_control_bytes(shown.data(), shown.size());
    std::fprintf(out, "\n%s", shown.c_str());
    // The name reaches the log before the file gets it: a stop signal while
    // the file is named leaves no file that the log does not name.
    std::fflush(out);
    const WriteResult result = name.refused != nullptr
                                   ? WriteResult::kCannotOpen
                                   : name_patch_file(*folder, static_cast<std::size_t>(i), name.file);
    switch (result) {
      case WriteResult::kWritten:
        break;
      case WriteResult::kCannotOpen:
        std::fprintf(out, " - %s", kCannotOpenPatchFile);
        break;
      case WriteResult::kCannotWrite:
        std::fprintf(out, " - %s", kCannotWritePatchFile);
        break;
    }
  }
  const bool on_disk = close_patch_folder(folder);
  std::fprintf(out, "\n");
  return on_disk;
}
