// The page on a whole collection, in one engine (VORTRIM_ENGINE), with the
// .KAA files of VORTRIM_COLLECTION picked through the file button, and a
// line of figures printed: each time beside a floor, what the least a page
// could do with the same files takes in the same run.
//   - pick to overview: from the pick to the overview drawn; floor: each
//     file's first 134660 bytes read, one after another, and nothing done;
//   - download all: from the click to the .zip's last byte; floor: one Blob
//     made of every patch's bytes; and the .zip of every bank's SysEx dump;
//   - block dumps: the same banks as .syx files (VORTRIM_SYSEX_COLLECTION),
//     from the pick to the overview drawn;
//   - memory: the page's own (its WebAssembly memory and, in Chromium, its
//     script's heap, once collected) and the browser's processes' growth,
//     with the collection shown and once the .zip is made, beside the
//     banks' bytes;
//   - search: from a name typed to the matches drawn, over every patch.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { needEngine, openBrowser } from "../tests/page_driver.mjs";

const engine = process.env.VORTRIM_ENGINE;
needEngine(engine);
const folder = process.env.VORTRIM_COLLECTION;
const files = fs.readdirSync(folder).filter(f => /\.kaa$/i.test(f)).sort().map(f => path.join(folder, f));
const bytes = files.reduce((n, f) => n + fs.statSync(f).size, 0);
// The same banks as block dumps, where VORTRIM_SYSEX_COLLECTION names them.
const sysexFolder = process.env.VORTRIM_SYSEX_COLLECTION;
const sysexFiles = sysexFolder ? fs.readdirSync(sysexFolder).filter(f => /\.syx$/i.test(f)).sort()
  .map(f => path.join(sysexFolder, f)) : [];
const sysexBytes = sysexFiles.reduce((n, f) => n + fs.statSync(f).size, 0);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "vortrim-bench-"));

// The resident memory of a process and all below it, in bytes.
function treeMemory(pid) {
  let total = 0;
  const children = new Map();
  for (const p of fs.readdirSync("/proc").filter(d => /^\d+$/.test(d))) {
    try {
      const stat = fs.readFileSync(`/proc/${p}/stat`, "utf8");
      const parent = Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(p));
    } catch { /* gone meanwhile */ }
  }
  const visit = p => {
    try {
      total += Number(/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${p}/status`, "utf8"))?.[1] ?? 0) * 1024;
    } catch { /* gone meanwhile */ }
    for (const c of children.get(p) ?? []) visit(c);
  };
  visit(pid);
  return total;
}

// Picks `files` through the file button and waits for the overview: the
// time from the pick to the overview drawn, and what the page then holds.
async function pickAll(files) {
  await browser.evaluate(() => {
    document.getElementById("status").textContent = "";
    // Before the page takes the files (and empties the button).
    document.addEventListener("change", e => {
      window.picked = performance.now();
      window.benchFiles = [...e.target.files];
    }, { capture: true, once: true });
  });
  await browser.pick(files);
  return browser.evaluate(async () => {
    const status = document.getElementById("status");
    while (!status.textContent.startsWith("Added")) await new Promise(r => setTimeout(r, 5));
    void document.body.offsetHeight;  // laid out
    const drawn = performance.now() - window.picked;
    // What the page holds for the collection, once collected.
    window.gc?.();
    const core = await vortrim.started;
    return { drawn, status: status.textContent, elements: document.querySelectorAll("*").length,
             wasm: core.memorySize, heap: performance.memory?.usedJSHeapSize ?? 0 };
  });
}

// The time from a click on `button` to the .zip's last byte, and the bytes.
function zipTime(button) {
  return browser.evaluate(async button => {
    let blob;
    URL.createObjectURL = b => { blob = b; return "blob:"; };
    HTMLAnchorElement.prototype.click = () => {};
    const t0 = performance.now();
    document.getElementById(button).click();
    while (!blob) await new Promise(r => setTimeout(r, 1));
    return { time: performance.now() - t0, size: blob.size };
  }, button);
}

// Chromium measures its script's heap exactly, after a collection.
const browser = await openBrowser(engine, scratch, ["--js-flags=--expose-gc", "--enable-precise-memory-info"]);
try {
  await browser.goto("file://" + path.resolve(process.env.VORTRIM_PAGE));
  const before = browser.pids().reduce((n, pid) => n + treeMemory(pid), 0);
  const overview = await pickAll(files);
  const loadedMemory = browser.pids().reduce((n, pid) => n + treeMemory(pid), 0);
  const floor = await browser.evaluate(async () => {
    const t0 = performance.now();
    for (const f of window.benchFiles) await f.slice(0, 134660).arrayBuffer();
    return performance.now() - t0;
  });
  const zip = await zipTime("zip-all");
  // Floor: one Blob made of every patch's bytes.
  const zipFloor = await browser.evaluate(async () => {
    const core = await vortrim.started;
    const plan = core.plan(), hold = core.hold();
    const views = plan.banks.flatMap(b => b.files.map(f => hold.bytes(f.number, f.size)));
    const t0 = performance.now();
    new Blob(views);
    const time = performance.now() - t0;
    hold.release();
    return time;
  });
  const sysex = await zipTime("syx-all");
  const after = browser.pids().reduce((n, pid) => n + treeMemory(pid), 0);
  const search = await browser.evaluate(async () => {
    const find = document.getElementById("find");
    const times = [];
    for (const typed of ["0500s064", "s12", "zzz"]) {
      const t0 = performance.now();
      find.value = typed;
      find.dispatchEvent(new Event("input"));
      while (!document.querySelector("#found p")) await new Promise(r => setTimeout(r));
      void document.body.offsetHeight;
      times.push(performance.now() - t0);
      document.getElementById("found").replaceChildren();
    }
    return { worst: Math.max(...times) };
  });
  // 1000 block dumps: the page cleared, the .syx files picked.
  let dumps = null;
  if (sysexFiles.length) {
    await browser.evaluate(() => document.getElementById("clear").click());
    dumps = await pickAll(sysexFiles);
  }
  const mb = n => (n / 1e6).toFixed(0);
  console.log(`bench ${engine}: ${files.length} banks, ${mb(bytes)} MB; ${overview.status}`);
  console.log(`bench ${engine}: pick to overview ${overview.drawn.toFixed(0)} ms` +
              `, floor ${floor.toFixed(0)} ms (ratio ${(overview.drawn / floor).toFixed(1)})` +
              `, ${overview.elements} elements`);
  console.log(`bench ${engine}: download all ${zip.time.toFixed(0)} ms (${mb(zip.size)} MB), ` +
              `floor ${zipFloor.toFixed(0)} ms (ratio ${(zip.time / Math.max(zipFloor, 1)).toFixed(1)})`);
  console.log(`bench ${engine}: download all as SysEx ${sysex.time.toFixed(0)} ms (${mb(sysex.size)} MB)`);
  if (dumps) {
    console.log(`bench ${engine}: ${sysexFiles.length} block dumps (${mb(sysexBytes)} MB) picked to overview ` +
                `${dumps.drawn.toFixed(0)} ms; ${dumps.status}`);
  }
  console.log(`bench ${engine}: memory: WebAssembly ${mb(overview.wasm)} MB` +
              (overview.heap ? `, script heap ${mb(overview.heap)} MB` : "") +
              ` (${((overview.wasm + overview.heap) / bytes).toFixed(2)}x the banks' bytes); ` +
              `the browser's processes grew by ${mb(loadedMemory - before)} MB ` +
              `(${((loadedMemory - before) / bytes).toFixed(2)}x) with the collection shown, ` +
              `by ${mb(after - before)} MB (${((after - before) / bytes).toFixed(2)}x) once the .zip files were made too`);
  console.log(`bench ${engine}: search over ${files.length * 128} patches, slowest answer ${search.worst.toFixed(1)} ms`);
} finally {
  await browser.close();
  fs.rmSync(scratch, { recursive: true, force: true });
}
