// The browser page's way into the program's own code, built to
// WebAssembly. The page copies a bank file's bytes into the input buffer,
// calls vortrim_read, and takes back texts that the program's functions
// wrote (see vortrim_read). No rule of the program is made here; this file
// only moves bytes between the two.

#include <cstdint>
#include <string>

#include "bank/bank_image.h"
#include "output/naming.h"
#include "output/report.h"

namespace {

// What lives between the page's calls: the bytes handed in, the one bank
// image (the page reads each patch's bytes out of it after the call) and
// the texts handed back.
struct Page {
  std::array<unsigned char, kHeaderSize + kMemorySize> input{};
  std::array<char, 1024> bank_name{};  // UTF-8, as the browser gives it
  BankImage image;
  std::array<std::string, 4> parts;
};

Page& page() {
  static Page* p = new Page;
  return *p;
}

// A patch name shown on the page: control bytes as "?", as on a terminal.
std::string shown_name(const PatchEntry& e) {
  std::string name(e.name.data(), name_length(e.name.data()));
  mask_control_bytes(name.data(), name.size());
  return windows_1252_to_utf8(name);
}


}  // namespace

extern "C" {

unsigned char* vortrim_input() { return page().input.data(); }
std::size_t vortrim_input_capacity() { return page().input.size(); }
char* vortrim_bank_name() { return page().bank_name.data(); }
std::size_t vortrim_bank_name_capacity() { return page().bank_name.size() - 1; }

// Reads the first `size` bytes of the input buffer as the bank named by the
// first `name_size` bytes of the name buffer. Returns 1 for a bank loaded,
// 0 for one refused. The parts then hold:
//   0  the summary line, or the refusal message;
//   1  the summary and the listing, as `vortrim -l` prints them;
//   2  a row per patch in memory order, tab-separated: slot, name, sources,
//      source map, size, the address of its bytes in this module's memory,
//      its file name in a .zip (NameRules::kPage: a .zip may be unpacked
//      anywhere; empty when refused) and the message for a refusal;
//   3  patch memory's size, the bytes free, and the folder for the .zip.
int vortrim_read(std::size_t size, std::size_t name_size) {
  Page& p = page();
  if (size > p.input.size() || name_size >= p.bank_name.size()) return 0;
  const std::string name(p.bank_name.data(), name_size);
  for (std::string& part : p.parts) part.clear();
  BankRefusal why;
  if (!load_bank_bytes(p.image, p.input.data(), size, &why)) {
    p.parts[0] = bank_refusal(name, why);
    return 0;
  }
  const BankImage& image = p.image;
  p.parts[0] = summary_line(image, name);
  p.parts[1] = p.parts[0] + windows_1252_to_utf8(listing_text(image, true));
  p.parts[0].pop_back();  // the line break
  PatchNames names;
  names.rules = NameRules::kPage;
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    const PatchFileName file = patch_file_name(names, e);
    p.parts[2] += std::to_string(e.slot + 1) + '\t' + shown_name(e) + '\t' +
                  std::to_string(e.sources) + '\t' + e.source_map.data() + '\t' +
                  std::to_string(e.size) + '\t' +
                  std::to_string(reinterpret_cast<std::uintptr_t>(&image.data[e.offset])) + '\t' +
                  (file.refused ? "" : file.file) + '\t' + (file.refused ? file.refused : "") +
                  '\n';
  }
  p.parts[3] = std::to_string(kMemorySize) + '\t' + std::to_string(free_bytes(image)) + '\t' +
               bank_folder_name(name);
  return 1;
}

const char* vortrim_part(int which) {
  return which >= 0 && which < 4 ? page().parts[static_cast<std::size_t>(which)].c_str() : "";
}

std::size_t vortrim_part_size(int which) {
  return which >= 0 && which < 4 ? page().parts[static_cast<std::size_t>(which)].size() : 0;
}

}  // extern "C"
