// A .zip of files stored as they are, each with the CRC-32 that the core
// works out for it: a save's plan, a folder per bank and a .KA1 file per
// patch, or any list of files.
import { Zip } from "fflate";

// Made on Unix, mode 0644: Info-ZIP's unzip reads the name of an entry made
// on MS-DOS in the DOS code page, UTF-8 flag or not ("Café" unpacks as
// "Caf+®"), and the name of one made on Unix as the UTF-8 it is.
const UNIX = 3;
const REGULAR_FILE_0644 = 0o100644 * 0x10000;

// A .zip's date: the bank file's, but none before 1980, which a .zip cannot hold.
const zipDate = ms => new Date(Math.max(ms, Date.UTC(1980, 0, 2)));

// Entries added before the browser is given a moment to draw.
const ENTRIES_AT_A_TIME = 4096;

// The files of a save's `plan` ({ banks: [{ folder, files: [{ file,
// number, size }] }] }), each patch read from `hold` (see core.js) and
// dated as its bank, `dates[i]`.
export function planEntries(plan, hold, dates) {
  return plan.banks.flatMap((bank, i) => bank.files.map(f => ({
    name: `${bank.folder}/${f.file}`, date: dates[i],
    read: () => ({ bytes: hold.bytes(f.number, f.size), crc: hold.crc(f.number) }) })));
}

// The .zip of `entries` ({ name, date, read: () => ({ bytes, crc }) }),
// each read as it is added. Its bytes are gathered into blocks of 8 MiB,
// each made a Blob when full.
export async function makeZip(entries) {
  const blobs = [];
  const block = new Uint8Array(8 << 20);
  let used = 0, count = 0;
  const flush = () => {
    if (used) blobs.push(new Blob([block.subarray(0, used)]));
    used = 0;
  };
  let finished, failed;
  const done = new Promise((resolve, reject) => { finished = resolve; failed = reject; });
  const zip = new Zip((error, chunk, final) => {
    if (error) return failed(error);
    if (final && count > 0xFFFF) chunk = withZip64End(chunk, count);
    if (used + chunk.length > block.length) flush();
    if (chunk.length > block.length) blobs.push(new Blob([chunk]));
    else block.set(chunk, (used += chunk.length) - chunk.length);
    if (final) {
      flush();
      finished(new Blob(blobs, { type: "application/zip" }));
    }
  });
  for (const e of entries) {
    const { bytes, crc } = e.read();
    const entry = { filename: e.name, mtime: zipDate(e.date), compression: 0, crc, size: bytes.length,
                    os: UNIX, attrs: REGULAR_FILE_0644 };
    zip.add(entry);
    entry.ondata(null, bytes, true);
    if (++count % ENTRIES_AT_A_TIME === 0) await new Promise(r => setTimeout(r));
  }
  zip.end();
  return done;
}

// fflate ends a .zip with a record that counts its entries in 16 bits: past
// 65535 entries (512 full banks) that count is wrong, and a reader that
// trusts it would leave patches out. Such a .zip also gets ZIP64's end
// record and its locator, which count in 64 bits, before that record, whose
// counts then say "see ZIP64". `end` is the central directory and the end
// record, for `entries` entries.
function withZip64End(end, entries) {
  const at = end.length - 22;
  const old = new DataView(end.buffer, end.byteOffset + at, 22);
  const size = old.getUint32(12, true), offset = old.getUint32(16, true);
  const out = new Uint8Array(at + 56 + 20 + 22);
  out.set(end.subarray(0, at));
  const view = new DataView(out.buffer);
  let p = at;
  for (const [value, bytes] of [
    [0x06064b50, 4], [44, 8], [45, 2], [45, 2], [0, 4], [0, 4], [entries, 8], [entries, 8], [size, 8], [offset, 8],
    [0x07064b50, 4], [0, 4], [offset + size, 8], [1, 4],
    [0x06054b50, 4], [0, 2], [0, 2], [0xFFFF, 2], [0xFFFF, 2], [size, 4], [offset, 4], [0, 2]]) {
    if (bytes === 8) view.setBigUint64(p, BigInt(value), true);
    else view[bytes === 4 ? "setUint32" : "setUint16"](p, value, true);
    p += bytes;
  }
  return out;
}
