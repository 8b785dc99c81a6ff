// The collection shown, as one object: the core holds the banks and their
// patches; the page keeps beside them each bank file's date (for a .zip),
// the files shown already, and which banks are open.
import { started } from "./core.js";

export const collection = {
  dates: new Map(),  // bank id: its file's date, in ms
  shown: new Set(),  // the files read: path, size and date
  open: new Set(),   // the ids of the banks opened
  cleared: 0,        // how many times it was cleared, so a read cut short by it stops

  // Reads `files` ({ file, path, inFolder, error }) into the collection: in
  // a folder only bank files are read and the rest counted; files given one
  // by one are all read, so that a renamed file gets its refusal. `said`
  // gets the status while they are read. Returns what was done: the ids
  // added and refused, and the files skipped and shown already.
  async add(files, said) {
    const core = await started;
    const cleared = this.cleared;
    const banks = files.filter(f => !f.inFolder || core.isBankFile(f.path));
    const skipped = files.length - banks.length;
    // A file's size and date are asked of the disk each time, and slowly:
    // once a file is read, or before, only where banks are shown already.
    const identify = f => {
      f.lastModified ??= f.file?.lastModified ?? 0;
      return f.key ??= `${f.path}\n${f.file?.size}\n${f.lastModified}`;
    };
    const candidates = banks.filter(f => !this.shown.size || !this.shown.has(identify(f)));
    const fresh = core.order(candidates.map(f => f.path)).map(i => candidates[i]);
    said(core.say("reading", fresh.length, fresh[0]?.path ?? ""));
    const added = [], refused = [];
    // Up to 32 files read ahead while the core takes them, one by one and
    // in order. No file is read past what a bank can hold: a huge file with
    // a bank's name costs what a bank costs.
    const reads = [];
    const read = i => reads[i] ??= fresh[i].error ? Promise.reject(fresh[i].error)
      : fresh[i].file.slice(0, core.readLimit(fresh[i].path)).arrayBuffer();
    for (const [i, f] of fresh.entries()) {
      for (let j = i; j < Math.min(i + 32, fresh.length); ++j) read(j).catch(() => {});
      let bytes = null;
      try {
        bytes = new Uint8Array(await read(i));
      } catch {
        // Moved, removed or not readable since it was picked.
      }
      reads[i] = null;
      if (this.cleared !== cleared) break;
      const id = bytes ? core.add(f.path, bytes, f.file.size) : core.addUnreadable(f.path);
      this.shown.add(identify(f));
      this.dates.set(id, f.lastModified);
      (core.loaded(id) ? added : refused).push(id);
    }
    if (this.cleared === cleared) core.skip(skipped);
    return { added, refused, skipped, repeated: banks.length - fresh.length, first: fresh[0]?.path ?? "" };
  },

  async clear() {
    (await started).clear();
    this.dates.clear();
    this.shown.clear();
    this.open.clear();
    this.cleared++;
  },
};
