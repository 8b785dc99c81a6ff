// The browser page's way into the program's own code, built to
// WebAssembly. The page copies a bank file's first bytes into the input
// buffer and a text (a path, what is typed) into the text buffer, calls in,
// and takes back the result: JSON with named fields, or plain text. No rule
// of the program is made here; this file only moves values between the two.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/bank_image.h"
#include "core/collection.h"
#include "core/messages.h"

namespace {

// What lives between the page's calls: the bytes and text handed in, the
// one bank image, the collection read so far, the collections that saves
// under way still read from (a save works from the bytes it started with,
// whatever is cleared meanwhile), and the last result.
struct Page {
  std::vector<unsigned char> input;
  std::string text;
  std::vector<unsigned char> output;    // the last dump or request made
  std::vector<unsigned char> received;  // what came from the instrument since the last request
  BankImage image;
  std::shared_ptr<Collection> collection = std::make_shared<Collection>();
  std::map<int, std::shared_ptr<Collection>> held;
  int next_hold = 1;
  std::string result;
};

Page& page() {
  static Page* p = new Page;
  return *p;
}

Collection& collection() { return *page().collection; }

// The text handed in: its first `size` bytes.
std::string text(std::size_t size) {
  const std::string& t = page().text;
  return t.substr(0, std::min(size, t.size()));
}

// JSON, written as the page reads it.
void add_string(std::string& out, const std::string& s) {
  out += '"';
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      static const char hex[] = "0123456789abcdef";
      out += "\\u00";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

void add_field(std::string& out, const char* name, const std::string& value) {
  out += out.back() == '{' ? "\"" : ",\"";
  out += name;
  out += "\":";
  add_string(out, value);
}

void add_field(std::string& out, const char* name, long long value) {
  out += out.back() == '{' ? "\"" : ",\"";
  out += name;
  out += "\":";
  out += std::to_string(value);
}

// A list of `count` values, each written by `add`.
template <class Add>
void add_list(std::string& out, const char* name, std::size_t count, Add add) {
  out += out.back() == '{' ? "\"" : ",\"";
  out += name;
  out += "\":[";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    add(i);
  }
  out += ']';
}

const char* give(std::string result) {
  page().result = std::move(result);
  return page().result.c_str();
}

// A patch's file in a save: its name, and the kept patch whose bytes it holds.
void add_file_fields(std::string& out, const CollectedPatch& p) {
  add_field(out, "file", p.file);
  add_field(out, "number", p.number);
  add_field(out, "size", p.size);
}

// What a patch's row shows wherever it stands: its slot, names, file,
// checks, and whether a dump may carry it, as which .syx file.
void add_patch_fields(std::string& out, const CollectedPatch& p) {
  add_field(out, "slot", p.slot);
  add_field(out, "name", p.name);
  add_field(out, "label", p.label);
  add_file_fields(out, p);
  add_field(out, "checks", check_words(p.check));
  add_field(out, "dumpable", may_dump(p.check) ? 1 : 0);
  add_field(out, "syx", patch_sysex_name(p));
}

// A list of texts.
void add_texts(std::string& out, const char* name, const std::vector<std::string>& texts) {
  add_list(out, name, texts.size(), [&](std::size_t i) { add_string(out, texts[i]); });
}

// A bank's place in the overview: its line, and what is said of it once.
void add_overview_row(std::string& out, std::uint32_t id) {
  const CollectedBank& bank = collection().banks[id];
  out += '{';
  add_field(out, "id", id);
  add_field(out, "line", bank.message);
  if (bank.loaded) add_field(out, "copies", bank_copies_note(collection(), id));
  std::vector<std::string> notes{bank.folder_renamed};
  notes.insert(notes.end(), bank.notes.begin(), bank.notes.end());
  add_texts(out, "notes", notes);
  if (!bank.rescued.empty()) add_field(out, "rescued", rescued_note(bank.rescued.size()));
  out += '}';
}

// The held collection of `hold`, or null where it is gone.
const Collection* held(int hold) {
  const auto h = page().held.find(hold);
  return h == page().held.end() ? nullptr : h->second.get();
}

// The target a dump goes to, as the page names it: the bank's letter, the
// tone and the channel as a user counts them, from 1.
DumpTarget target_of(int letter, int tone, int channel) {
  DumpTarget target;
  dump_bank(static_cast<char>(letter), &target.bank);
  target.tone = std::clamp(tone, 1, 128) - 1;
  target.channel = std::clamp(channel, 1, 16) - 1;
  return target;
}

// Splits `request` at line breaks.
std::vector<std::string> lines(const std::string& request) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = request.find('\n', start)) != std::string::npos; start = end + 1) {
    parts.push_back(request.substr(start, end - start));
  }
  parts.push_back(request.substr(start));
  return parts;
}

std::size_t number(const std::vector<std::string>& args, std::size_t i) {
  return i < args.size() ? static_cast<std::size_t>(std::strtoull(args[i].c_str(), nullptr, 10))
                         : 0;
}

std::string word(const std::vector<std::string>& args, std::size_t i) {
  return i < args.size() ? args[i] : "";
}

}  // namespace

// What the page calls, exported by name.
#define VORTRIM_EXPORT(name) extern "C" __attribute__((export_name(#name)))

// Room for `size` bytes of a bank file, or of text, to be handed in.
VORTRIM_EXPORT(vortrim_input)
unsigned char* vortrim_input(std::size_t size) {
  page().input.resize(size);
  return page().input.data();
}
VORTRIM_EXPORT(vortrim_text)
char* vortrim_text(std::size_t size) {
  page().text.resize(size);
  return page().text.data();
}

// How much of the file at the path handed in the page hands in.
VORTRIM_EXPORT(vortrim_read_limit)
std::size_t vortrim_read_limit(std::size_t text_size) { return read_limit(text(text_size)); }

// The result of the last call that gave one, and its size in bytes.
VORTRIM_EXPORT(vortrim_result)
const char* vortrim_result() { return page().result.c_str(); }
VORTRIM_EXPORT(vortrim_result_size)
std::size_t vortrim_result_size() { return page().result.size(); }

// The text handed in, paths a line each, as a JSON list of their indices in
// path order: the order in which the page reads them.
VORTRIM_EXPORT(vortrim_sort)
void vortrim_sort(std::size_t text_size) {
  const std::vector<std::uint32_t> order = in_path_order(lines(text(text_size)));
  std::string out = "{";
  add_list(out, "order", order.size(), [&](std::size_t i) { out += std::to_string(order[i]); });
  give(out + "}");
}

// Reads the `size` bytes handed in, of a file of `file_size`, as the bank
// at the path handed in (`text_size` bytes) and adds it to the collection.
// Returns its id.
VORTRIM_EXPORT(vortrim_add)
std::uint32_t vortrim_add(std::size_t size, std::size_t text_size, double file_size) {
  Page& p = page();
  return add_bank(collection(), p.image, text(text_size), p.input.data(),
                  std::min(size, p.input.size()), static_cast<std::size_t>(file_size));
}

// Adds the bank at the path handed in, which the browser could not read.
VORTRIM_EXPORT(vortrim_add_unreadable)
std::uint32_t vortrim_add_unreadable(std::size_t text_size) {
  return add_unreadable(collection(), text(text_size));
}

VORTRIM_EXPORT(vortrim_loaded)
int vortrim_loaded(std::uint32_t id) { return collection().banks.at(id).loaded ? 1 : 0; }

// Whether a file met in a folder, at the path handed in, is read as a bank.
VORTRIM_EXPORT(vortrim_is_bank_file)
int vortrim_is_bank_file(std::size_t text_size) { return is_bank_file(text(text_size)) ? 1 : 0; }

// Counts files of folders that are no banks.
VORTRIM_EXPORT(vortrim_skip)
void vortrim_skip(int count) { collection().skipped += count; }

// The overview: the totals and the files skipped, then the refused banks
// and the others, each in path order, with their lines.
VORTRIM_EXPORT(vortrim_overview)
void vortrim_overview() {
  const Collection& c = collection();
  std::vector<std::uint32_t> refused, loaded;
  for (const std::uint32_t id : banks_in_order(c)) (c.banks[id].loaded ? loaded : refused).push_back(id);
  std::string out = "{";
  add_field(out, "totals", totals_line(c));
  add_field(out, "skipped", c.skipped);
  add_list(out, "refused", refused.size(), [&](std::size_t i) { add_overview_row(out, refused[i]); });
  add_list(out, "banks", loaded.size(), [&](std::size_t i) { add_overview_row(out, loaded[i]); });
  give(out + "}");
}

// Bank `id` as an opened bank shows it: its patches, or for one refused as
// cut off the patches that lie whole before the cut.
VORTRIM_EXPORT(vortrim_bank)
void vortrim_bank(std::uint32_t id) {
  const Collection& c = collection();
  const CollectedBank& bank = c.banks.at(id);
  const std::vector<CollectedPatch>& patches = bank.loaded ? bank.patches : bank.rescued;
  const std::vector<std::string> copies = patch_copies_notes(c, id);
  std::string out = "{";
  add_field(out, "path", bank.path);
  add_field(out, "listing", bank.listing);
  add_field(out, "memory", static_cast<long long>(kMemorySize));
  add_field(out, "free", bank.free);
  add_field(out, "name", own_folder(bank));
  add_field(out, "syx", bank_sysex_name(bank));
  add_list(out, "patches", patches.size(), [&](std::size_t i) {
    const CollectedPatch& p = patches[i];
    out += '{';
    add_patch_fields(out, p);
    add_field(out, "sources", p.sources);
    add_field(out, "map", p.source_map.data());
    add_field(out, "renamed", p.renamed);
    add_field(out, "copies", bank.loaded ? copies[i] : "");
    out += '}';
  });
  give(out + "}");
}

// What bank `id`'s patches say of their copies, which banks added later
// change: a note a patch.
VORTRIM_EXPORT(vortrim_copies)
void vortrim_copies(std::uint32_t id) {
  std::string out = "{";
  add_texts(out, "copies", patch_copies_notes(collection(), id));
  give(out + "}");
}

// The patches whose names hold the text handed in (with `failing`, of
// those that fail a check), the first `shown` of them with their banks,
// and what is said of them.
VORTRIM_EXPORT(vortrim_find)
void vortrim_find(std::size_t text_size, std::size_t shown, int failing) {
  const Collection& c = collection();
  const std::vector<Place> found = find_patches(c, text(text_size), failing != 0);
  const std::size_t rows = std::min(found.size(), shown);
  std::string out = "{";
  add_field(out, "said", found_status(found.size(), rows));
  add_list(out, "rows", rows, [&](std::size_t i) {
    const CollectedBank& bank = c.banks[found[i].bank];
    const CollectedPatch& p = bank.patches[found[i].patch];
    out += '{';
    add_field(out, "bank", found[i].bank);
    add_field(out, "patch", found[i].patch);
    add_field(out, "path", bank.path);
    add_patch_fields(out, p);
    out += '}';
  });
  give(out + "}");
}

// What a save of bank `id` writes, or, for -1, of every bank read, in path
// order: each bank's folder, and its files with the kept patches they
// hold. A bank saved alone goes into a folder of its own name; one refused
// as cut off, only so, with the patches that lie whole before the cut.
VORTRIM_EXPORT(vortrim_plan)
void vortrim_plan(int id) {
  const Collection& c = collection();
  std::vector<std::uint32_t> banks;
  for (const std::uint32_t b : banks_in_order(c)) {
    const bool saved = id < 0 ? c.banks[b].loaded : b == static_cast<std::uint32_t>(id);
    if (saved) banks.push_back(b);
  }
  std::string out = "{";
  add_list(out, "banks", banks.size(), [&](std::size_t i) {
    const CollectedBank& bank = c.banks[banks[i]];
    const std::vector<CollectedPatch>& patches = bank.loaded ? bank.patches : bank.rescued;
    out += '{';
    add_field(out, "id", banks[i]);
    add_field(out, "folder", id < 0 ? bank.folder : own_folder(bank));
    add_list(out, "files", patches.size(), [&](std::size_t j) {
      out += '{';
      add_file_fields(out, patches[j]);
      out += '}';
    });
    out += '}';
  });
  give(out + "}");
}

// Keeps the collection as it is now for a save, until released: its
// patches' bytes stay where they are, whatever is cleared or added.
VORTRIM_EXPORT(vortrim_hold)
int vortrim_hold() {
  Page& p = page();
  p.held[p.next_hold] = p.collection;
  return p.next_hold++;
}
VORTRIM_EXPORT(vortrim_release)
void vortrim_release(int hold) { page().held.erase(hold); }

// Kept patch `number` of a held collection: the address of its bytes, and
// its CRC-32 for a .zip. Null and 0 for a hold that is gone.
VORTRIM_EXPORT(vortrim_patch)
const unsigned char* vortrim_patch(int hold, std::uint32_t number) {
  const Collection* c = held(hold);
  return c == nullptr ? nullptr : c->kept.patches.at(number).bytes;
}
VORTRIM_EXPORT(vortrim_crc)
std::uint32_t vortrim_crc(int hold, std::uint32_t number) {
  const auto h = page().held.find(hold);
  return h == page().held.end() ? 0 : kept_crc(h->second->kept, number);
}

// The one-single dump of patch `patch` of bank `id` of a held collection,
// to the bank `letter` names, `tone` and `channel` (from 1), as the output.
// Its size, 0 where the hold is gone.
VORTRIM_EXPORT(vortrim_patch_dump)
std::size_t vortrim_patch_dump(int hold, std::uint32_t id, std::uint32_t patch, int letter, int tone,
                               int channel) {
  const Collection* c = held(hold);
  page().output = c == nullptr ? std::vector<unsigned char>{}
                               : patch_dump(*c, id, patch, target_of(letter, tone, channel));
  return page().output.size();
}

// The block dump of bank `id` of a held collection to the bank `letter`
// names and `channel`, as the output; the result says what it holds, left
// out and holds though it fails a check. Its size, 0 where the hold is gone.
VORTRIM_EXPORT(vortrim_bank_dump)
std::size_t vortrim_bank_dump(int hold, std::uint32_t id, int letter, int channel) {
  const Collection* c = held(hold);
  BankDump dump;
  if (c != nullptr) dump = bank_dump(*c, id, target_of(letter, 1, channel));
  page().output = std::move(dump.bytes);
  std::string out = "{";
  add_field(out, "said", dump.said);
  add_field(out, "leftOut", dump.left_out);
  give(out + "}");
  return page().output.size();
}

// What sending bank `id` of a held collection to the instrument sends: a
// one-single dump a patch, each to its own slot's tone, and the patches
// that fail a check, which are not sent.
VORTRIM_EXPORT(vortrim_send_plan)
void vortrim_send_plan(int hold, std::uint32_t id) {
  const Collection* c = held(hold);
  std::vector<std::size_t> sent;
  std::vector<std::string> skipped;
  const std::vector<CollectedPatch> none;
  const std::vector<CollectedPatch>& patches = c == nullptr ? none : c->banks.at(id).patches;
  for (std::size_t i = 0; i < patches.size(); ++i) {
    const CollectedPatch& p = patches[i];
    if (fails_a_check(p.check)) {
      skipped.push_back(patch_in_note(p.slot, p.label, check_words(p.check)));
    } else {
      sent.push_back(i);
    }
  }
  std::string out = "{";
  add_list(out, "patches", sent.size(), [&](std::size_t i) {
    const CollectedPatch& p = patches[sent[i]];
    out += '{';
    add_field(out, "index", sent[i]);
    add_field(out, "slot", p.slot);
    add_field(out, "label", p.label);
    add_field(out, "size", p.size);
    out += '}';
  });
  add_texts(out, "skipped", skipped);
  give(out + "}");
}

// The requests for a dump of one patch, or of a bank, as the output; their
// size.
VORTRIM_EXPORT(vortrim_patch_request)
std::size_t vortrim_patch_request(int letter, int tone, int channel) {
  page().output = patch_request(target_of(letter, tone, channel));
  return page().output.size();
}
VORTRIM_EXPORT(vortrim_bank_request)
std::size_t vortrim_bank_request(int letter, int channel) {
  const DumpTarget target = target_of(letter, 1, channel);
  page().output = bank_request(target.bank, target.channel);
  return page().output.size();
}

// What comes from the instrument: the `size` bytes handed in, after what
// came before them since it was emptied.
VORTRIM_EXPORT(vortrim_midi_take)
void vortrim_midi_take(std::size_t size) {
  Page& p = page();
  p.received.insert(p.received.end(), p.input.begin(), p.input.begin() + std::min(size, p.input.size()));
}
VORTRIM_EXPORT(vortrim_midi_clear)
void vortrim_midi_clear() { page().received.clear(); }

// The instrument's answer among what came, on `channel` (from 1): an
// Answer, 0 for none yet.
VORTRIM_EXPORT(vortrim_midi_answer)
int vortrim_midi_answer(int channel) {
  const std::vector<unsigned char>& r = page().received;
  return static_cast<int>(dump_answer(r.data(), r.size(), std::clamp(channel, 1, 16) - 1));
}

// What came after a request: 1 where a dump of patches came whole, + 2
// where a message is begun and not ended; + 4 where anything came.
VORTRIM_EXPORT(vortrim_midi_incoming)
int vortrim_midi_incoming() {
  const std::vector<unsigned char>& r = page().received;
  const Incoming in = incoming(r.data(), r.size());
  return (in.whole_dump ? 1 : 0) + (in.open ? 2 : 0) + (r.empty() ? 0 : 4);
}

// Adds what came as a bank named as handed in (the backup's name), read as
// the SysEx it is; its id.
VORTRIM_EXPORT(vortrim_add_received)
std::uint32_t vortrim_add_received(std::size_t text_size) {
  Page& p = page();
  return add_bank(collection(), p.image, text(text_size), p.received.data(), p.received.size(),
                  p.received.size());
}

// The output's bytes and their CRC-32, for a .zip.
VORTRIM_EXPORT(vortrim_output)
const unsigned char* vortrim_output() { return page().output.data(); }
VORTRIM_EXPORT(vortrim_output_crc)
std::uint32_t vortrim_output_crc() { return crc32(page().output.data(), page().output.size()); }

// Forgets the collection; saves under way keep what they hold.
VORTRIM_EXPORT(vortrim_clear)
void vortrim_clear() { page().collection = std::make_shared<Collection>(); }

// A message of the page's, by its name on the first line of the text handed
// in, with its values on the lines after it.
VORTRIM_EXPORT(vortrim_say)
void vortrim_say(std::size_t text_size) {
  const std::vector<std::string> args = lines(text(text_size));
  const std::string& name = args[0];
  std::string said;
  if (name == "reading") said = reading_status(number(args, 1), word(args, 2));
  if (name == "added") {
    said = added_status(number(args, 1), number(args, 2), number(args, 3), number(args, 4),
                        word(args, 5));
  }
  if (name == "cleared") said = cleared_status();
  if (name == "zipping") said = zipping_status();
  if (name == "zipped") said = zipped_status(number(args, 1));
  if (name == "answer") said = answer_words(static_cast<Answer>(number(args, 1)));
  if (name == "patch-sent") {
    said = patch_sent_status(word(args, 1), target_of(word(args, 2)[0], static_cast<int>(number(args, 3)), 1),
                             static_cast<Answer>(number(args, 4)));
  }
  if (name == "sending") {
    said = sending_status(number(args, 1), number(args, 2), number(args, 3), number(args, 4));
  }
  if (name == "bank-sent") {
    const std::vector<std::string> skipped(args.begin() + std::min<std::size_t>(args.size(), 8), args.end());
    said = bank_sent_status(number(args, 1), number(args, 2), target_of(word(args, 3)[0], 1, 1),
                            static_cast<Answer>(number(args, 4)), static_cast<int>(number(args, 5)),
                            word(args, 6), number(args, 7) != 0, skipped);
  }
  if (name == "backup-name") {
    said = backup_name(target_of(word(args, 1)[0], 1, 1).bank, static_cast<int>(number(args, 2)),
                       static_cast<int>(number(args, 3)), static_cast<int>(number(args, 4)),
                       static_cast<int>(number(args, 5)), static_cast<int>(number(args, 6)),
                       static_cast<int>(number(args, 7)));
  }
  if (name == "backup") said = backup_status(word(args, 1), number(args, 2), number(args, 3) != 0, number(args, 4) != 0);
  if (name == "midi") said = midi_status(word(args, 1), word(args, 2));
  if (name == "zipped-sysex") {
    const DumpTarget target = target_of(word(args, 3)[0], 1, static_cast<int>(number(args, 4)));
    said = zipped_sysex_status(number(args, 1), number(args, 2), target);
  }
  if (name == "zip-failed") said = zip_failed_status(word(args, 1));
  if (name == "folder-refused") said = folder_refused_status(word(args, 1));
  if (name == "saved") said = saved_status(number(args, 1), word(args, 2));
  if (name == "save-failed") {
    said = save_failed_status(word(args, 1), word(args, 2), number(args, 3), number(args, 4));
  }
  give(said);
}

