// Saving: a .zip downloaded, or files written into a folder the user picks
// (where the browser offers a folder picker). Each works from what the
// collection held when it started, whatever is cleared or added meanwhile.
import { started } from "./core.js";
import { collection } from "./collection.js";
import { makeZip, planEntries } from "./zip.js";

export function download(name, blob) {
  const url = URL.createObjectURL(blob);
  const a = Object.assign(document.createElement("a"), { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// What saving bank `id` (or every bank, for none) takes: the plan, the
// patches held for it, and each bank's date.
export async function take(id) {
  const core = await started;
  const plan = core.plan(id);
  return { core, plan, hold: core.hold(), dates: plan.banks.map(b => collection.dates.get(b.id) ?? 0) };
}

// Downloads the .zip of bank `id` (or of every bank) as `name`, saying in
// `status` what came of it (`done` says what a .zip of every bank holds).
export async function downloadZip(id, name, status, done = () => "") {
  const { core, plan, hold, dates } = await take(id);
  try {
    download(name, await makeZip(planEntries(plan, hold, dates)));
    status.textContent = done(core, plan);
  } catch (e) {
    status.textContent = core.say("zip-failed", e.message);
  } finally {
    hold.release();
  }
}

// Downloads one patch's .KA1 file.
export async function downloadPatch(p) {
  const hold = (await started).hold();
  try {
    download(p.file, new Blob([hold.bytes(p.number, p.size).slice()], { type: "application/octet-stream" }));
  } finally {
    hold.release();
  }
}

// Writes bank `id` (or every bank) into a folder the user picks, each bank
// into its folder there; says in `status` what was saved, and where it
// stopped.
export async function saveInto(id, status) {
  const core = await started;
  let top;
  try {
    top = await window.showDirectoryPicker({ mode: "readwrite" });
  } catch (e) {
    if (e.name !== "AbortError") status.textContent = core.say("folder-refused", e.message);
    return;
  }
  const { plan, hold } = await take(id);
  const total = plan.banks.reduce((n, b) => n + b.files.length, 0);
  let saved = 0;
  try {
    for (const bank of plan.banks) {
      let dir = top;
      for (const part of bank.folder.split("/")) dir = await dir.getDirectoryHandle(part, { create: true });
      for (const f of bank.files) {
        // Copied out at once: the core's memory may grow while this waits.
        const bytes = hold.bytes(f.number, f.size).slice();
        const out = await (await dir.getFileHandle(f.file, { create: true })).createWritable();
        await out.write(bytes);
        await out.close();  // the file takes its new bytes whole, or keeps its old ones
        saved++;
      }
    }
    status.textContent = core.say("saved", saved, top.name);
  } catch (e) {
    status.textContent = core.say("save-failed", top.name, e.message, saved, total);
  } finally {
    hold.release();
  }
}
