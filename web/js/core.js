// The bridge to the program's own code, compiled to WebAssembly. Every rule
// of the page is decided there: reading each bank, the report's text, the
// names of files and folders, which patches are copies and where, the order
// of banks, what find finds, and the words of every message. This module
// hands it bytes and text, and takes back results with named fields.

import { gunzipSync } from "fflate";

// The core's WebAssembly, gzip-compressed, as base64.
const CORE = "__VORTRIM_CORE__";

const utf8 = new TextEncoder();
const fromUtf8 = new TextDecoder();

// The core needs nothing from the page: it reads and writes only memory.
// Rejects where the browser cannot start it.
export const started = (async () => {
  const bytes = gunzipSync(Uint8Array.from(atob(CORE), c => c.charCodeAt(0)));
  const { instance } = await WebAssembly.instantiate(bytes, {});
  instance.exports._initialize();
  return bridge(instance.exports);
})();

function bridge(e) {
  // The core's memory, taken afresh each time: a call may grow it, and an
  // earlier buffer is then gone.
  const bytesAt = (at, size) => new Uint8Array(e.memory.buffer, at, size);
  const text = value => {
    const bytes = utf8.encode(value);
    bytesAt(e.vortrim_text(bytes.length), bytes.length).set(bytes);
    return bytes.length;
  };
  const result = () => fromUtf8.decode(bytesAt(e.vortrim_result(), e.vortrim_result_size()));
  const json = () => JSON.parse(result());
  return {
    // How much of a file is handed in: what a bank can hold.
    readLimit: e.vortrim_read_limit(),
    // The indices of `paths` in the order the page lists banks.
    order(paths) {
      e.vortrim_sort(text(paths.join("\n")));
      return json().order;
    },
    // Reads a file's bytes as the bank at `path`; its id.
    add(path, bytes) {
      const size = Math.min(bytes.length, this.readLimit);
      bytesAt(e.vortrim_input(size), size).set(bytes.subarray(0, size));
      return e.vortrim_add(size, text(path));
    },
    addUnreadable: path => e.vortrim_add_unreadable(text(path)),
    loaded: id => e.vortrim_loaded(id) === 1,
    // Whether a file met in a folder is read as a bank.
    isBankFile: path => e.vortrim_is_bank_file(text(path)) === 1,
    skip: count => e.vortrim_skip(count),
    // { totals, skipped, refused: [{ id, line }],
    //   banks: [{ id, line, copies, folderRenamed }] }
    overview() {
      e.vortrim_overview();
      return json();
    },
    // { path, listing, memory, free, name, patches: [{ slot, name, label,
    //   sources, map, size, number, file, renamed, copies }] }
    bank(id) {
      e.vortrim_bank(id);
      return json();
    },
    // What bank `id`'s patches say of their copies now, a note a patch.
    copies(id) {
      e.vortrim_copies(id);
      return json().copies;
    },
    // { said, rows: [{ bank, path, slot, name, file, number, size }] }
    find(typed, shown) {
      e.vortrim_find(text(typed), shown);
      return json();
    },
    // What saving bank `id`, or every bank (no id), writes:
    // { banks: [{ id, folder, files: [{ file, number, size }] }] }
    plan(id = -1) {
      e.vortrim_plan(id);
      return json();
    },
    // The collection as it is now, for a save: its patches' bytes and CRCs
    // stay as they are, whatever is cleared or added, until released.
    hold() {
      const hold = e.vortrim_hold();
      return {
        // A view of the core's memory: use it at once, or copy it, as a
        // call that grows the memory leaves it empty.
        bytes: (number, size) => {
          const at = e.vortrim_patch(hold, number);
          if (!at) throw new Error("the patches to save are gone");
          return bytesAt(at, size);
        },
        crc: number => e.vortrim_crc(hold, number) >>> 0,
        release: () => e.vortrim_release(hold),
      };
    },
    clear: () => e.vortrim_clear(),
    // A message of the page's, by name, with its values.
    say(name, ...values) {
      e.vortrim_say(text([name, ...values].join("\n")));
      return result();
    },
  };
}
