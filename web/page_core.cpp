// The browser page's way into the program's own code, built to
// WebAssembly. For each bank file of a collection the page copies the
// file's first bytes into the input buffer and its path in the collection
// into the name buffer, calls vortrim_read, and takes back texts that the
// program's functions wrote (see vortrim_read). No rule of the program is
// made here; this file only moves bytes between the two.

#include <cstdint>
#include <string>

#include "core/bank_image.h"
#include "core/collection.h"
#include "core/messages.h"
#include "core/naming.h"
#include "core/report.h"

namespace {

// What lives between the page's calls: the bytes handed in, the one bank
// image, the collection read so far (each distinct patch's bytes, which
// the page reads from this module's memory whenever it saves them, and the
// banks' folders) and the texts handed back.
struct Page {
  std::array<unsigned char, kHeaderSize + kMemorySize> input{};
  std::array<char, 4096> bank_name{};  // UTF-8, "/" between folders
  BankImage image;
  Collection collection;
  BankFolders folders;
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

std::string bank_name(std::size_t name_size) {
  const Page& p = page();
  return {p.bank_name.data(), std::min(name_size, p.bank_name.size())};
}

}  // namespace

extern "C" {

unsigned char* vortrim_input() { return page().input.data(); }
std::size_t vortrim_input_capacity() { return page().input.size(); }
char* vortrim_bank_name() { return page().bank_name.data(); }
std::size_t vortrim_bank_name_capacity() { return page().bank_name.size(); }

// Reads the first `size` bytes of the input buffer as the bank at the path
// held by the first `name_size` bytes of the name buffer, and adds it to
// the collection. Returns 1 for a bank loaded, 0 for one refused. The parts
// then hold:
//   0  the summary line, or the refusal message;
//   1  the summary and the listing, as `vortrim -l` prints them;
//   2  a row per patch in memory order, tab-separated: slot, name, sources,
//      source map, size, the patch's number in the collection (a copy has
//      the number of the patch it copies), the address of its bytes in this
//      module's memory, its file name in a .zip (NameRules::kPage) and why
//      that name is not the patch's own, if it is not;
//   3  patch memory's size, the bytes free, and the bank's folder in a .zip
//      of the whole collection.
int vortrim_read(std::size_t size, std::size_t name_size) {
  Page& p = page();
  const std::string name = bank_name(name_size);
  for (std::string& part : p.parts) part.clear();
  BankRefusal why;
  if (!load_bank_bytes(p.image, p.input.data(), std::min(size, p.input.size()), &why)) {
    p.parts[0] = bank_refusal(name, why);
    return 0;
  }
  const BankImage& image = p.image;
  p.parts[0] = summary_line(image, name);
  p.parts[1] = p.parts[0] + listing_text(image, true, windows_1252_to_utf8);
  p.parts[0].pop_back();  // the line break
  PatchNames names;
  names.rules = NameRules::kPage;
  std::string& rows = p.parts[2];
  rows.reserve(static_cast<std::size_t>(image.count) * 96);
  const auto field = [&](const std::string& text) { rows.append(text).push_back('\t'); };
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    const PatchFileName file = patch_file_name(names, e);
    const std::uint32_t number =
        keep_patch(p.collection, &image.data[e.offset], static_cast<std::size_t>(e.size));
    field(std::to_string(e.slot + 1));
    field(shown_name(e));
    field(std::to_string(e.sources));
    field(e.source_map.data());
    field(std::to_string(e.size));
    field(std::to_string(number));
    field(std::to_string(reinterpret_cast<std::uintptr_t>(p.collection.patches[number].bytes)));
    field(file.file);
    rows.append(file.renamed).push_back('\n');
  }
  p.parts[3] = std::to_string(kMemorySize) + '\t' + std::to_string(free_bytes(image)) + '\t' +
               bank_folder_path(p.folders, name);
  return 1;
}

// Part 0 becomes the message for the bank at that path, which the browser
// could not read.
void vortrim_unreadable(std::size_t name_size) {
  Page& p = page();
  for (std::string& part : p.parts) part.clear();
  p.parts[0] = bank_refusal(bank_name(name_size), {Refusal::kReadError});
}

// The CRC-32 of patch `number` of the collection, for a .zip.
std::uint32_t vortrim_crc(std::uint32_t number) { return kept_crc(page().collection, number); }

// Forgets the collection: its patches and its folders.
void vortrim_clear() {
  Page& p = page();
  p.collection = Collection{};
  p.folders = BankFolders{};
}

const char* vortrim_part(int which) {
  return which >= 0 && which < 4 ? page().parts[static_cast<std::size_t>(which)].c_str() : "";
}

std::size_t vortrim_part_size(int which) {
  return which >= 0 && which < 4 ? page().parts[static_cast<std::size_t>(which)].size() : 0;
}

}  // extern "C"
