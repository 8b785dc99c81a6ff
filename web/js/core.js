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
    // How much of the file at `path` is handed in.
    readLimit: path => e.vortrim_read_limit(text(path)),
    // The indices of `paths` in the order the page lists banks.
    order(paths) {
      e.vortrim_sort(text(paths.join("\n")));
      return json().order;
    },
    // Reads a file's first bytes as the bank at `path` (a .syx file too),
    // the file `fileSize` bytes in all; its id.
    add(path, bytes, fileSize) {
      const size = Math.min(bytes.length, this.readLimit(path));
      bytesAt(e.vortrim_input(size), size).set(bytes.subarray(0, size));
      return e.vortrim_add(size, text(path), fileSize);
    },
    addUnreadable: path => e.vortrim_add_unreadable(text(path)),
    loaded: id => e.vortrim_loaded(id) === 1,
    // Whether a file met in a folder is read as a bank.
    isBankFile: path => e.vortrim_is_bank_file(text(path)) === 1,
    skip: count => e.vortrim_skip(count),
    // { totals, skipped, refused: [{ id, line, notes, rescued }],
    //   banks: [{ id, line, copies, notes }] }
    overview() {
      e.vortrim_overview();
      return json();
    },
    // { path, listing, memory, free, name, syx, patches: [{ slot, name,
    //   label, sources, map, size, number, file, renamed, copies, checks,
    //   dumpable, syx }] }: for a bank refused as cut off, the patches
    //   that lie whole before the cut.
    bank(id) {
      e.vortrim_bank(id);
      return json();
    },
    // What bank `id`'s patches say of their copies now, a note a patch.
    copies(id) {
      e.vortrim_copies(id);
      return json().copies;
    },
    // The patches whose names hold `typed`, with `failing` of those that
    // fail a check: { said, rows: [{ bank, path, slot, name, file, number,
    // size, checks }] }.
    find(typed, shown, failing) {
      e.vortrim_find(text(typed), shown, failing ? 1 : 0);
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
        // A patch's one-single dump to `target` ({ bank: "A", tone,
        // channel }, counted from 1): its bytes, copied.
        patchDump(id, patch, target) {
          const size = e.vortrim_patch_dump(hold, id, patch, target.bank.charCodeAt(0), target.tone,
                                            target.channel);
          return bytesAt(e.vortrim_output(), size).slice();
        },
        // A bank's block dump to `target`'s bank and channel: its bytes
        // (copied), their CRC-32, what it says and how many patches it
        // left out.
        // What sending bank `id` to the instrument sends: { patches:
        // [{ index, slot, label, size }], skipped: [notes] }.
        sendPlan(id) {
          e.vortrim_send_plan(hold, id);
          return json();
        },
        bankDump(id, target) {
          const size = e.vortrim_bank_dump(hold, id, target.bank.charCodeAt(0), target.channel);
          return { ...json(), bytes: bytesAt(e.vortrim_output(), size).slice(), crc: e.vortrim_output_crc() >>> 0 };
        },
        release: () => e.vortrim_release(hold),
      };
    },
    clear: () => e.vortrim_clear(),
    // The requests for a dump, from `target` ({ bank, tone, channel }, from
    // 1): of one patch, or of its whole bank.
    patchRequest: target => {
      const size = e.vortrim_patch_request(target.bank.charCodeAt(0), target.tone, target.channel);
      return bytesAt(e.vortrim_output(), size).slice();
    },
    bankRequest: target => {
      const size = e.vortrim_bank_request(target.bank.charCodeAt(0), target.channel);
      return bytesAt(e.vortrim_output(), size).slice();
    },
    // What came from the instrument: taken in, emptied; its answer to a dump
    // on `channel` (0 for none yet); whether a dump came whole, a message is
    // begun and not ended, and anything came at all.
    midiTake(bytes) {
      bytesAt(e.vortrim_input(bytes.length), bytes.length).set(bytes);
      e.vortrim_midi_take(bytes.length);
    },
    midiClear: () => e.vortrim_midi_clear(),
    midiAnswer: channel => e.vortrim_midi_answer(channel),
    midiIncoming() {
      const bits = e.vortrim_midi_incoming();
      return { whole: (bits & 1) !== 0, open: (bits & 2) !== 0, any: (bits & 4) !== 0 };
    },
    // What came, added as a bank named `name`; its id.
    addReceived: name => e.vortrim_add_received(text(name)),
    // How much memory the core has taken, for measuring.
    get memorySize() { return e.memory.buffer.byteLength; },
    // A message of the page's, by name, with its values.
    say(name, ...values) {
      e.vortrim_say(text([name, ...values].join("\n")));
      return result();
    },
  };
}
