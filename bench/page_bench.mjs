// The page on a whole collection, in one engine (VORTRIM_ENGINE), with the
// .KAA files of VORTRIM_COLLECTION picked through the file button, and a
// line of figures printed: each time beside a floor, what the least a page
// could do with the same files takes in the same run.
//   - pick to overview: from the pick to the overview drawn; floor: each
//     file's first 134660 bytes read, one after another, and nothing done;
//   - download all: from the click to the .zip's last byte; floor: one Blob
//     made of every patch's bytes;
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

// Chromium measures its script's heap exactly, after a collection.
const browser = await openBrowser(engine, scratch, ["--js-flags=--expose-gc", "--enable-precise-memory-info"]);
try {
  await browser.goto("file://" + path.resolve(process.env.VORTRIM_PAGE));
  await browser.evaluate(() => {
    // Before the page takes the files (and empties the button).
    document.addEventListener("change", e => {
      window.picked = performance.now();
      window.benchFiles = [...e.target.files];
    }, { capture: true });
  });
  const before = browser.pids().reduce((n, pid) => n + treeMemory(pid), 0);
  await browser.pick(files);
  const overview = await browser.evaluate(async () => {
    const status = document.getElementById("status");
    while (!status.textContent.startsWith("Added")) await new Promise(r => setTimeout(r, 5));
    void document.body.offsetHeight;  // laid out
    const drawn = performance.now() - window.picked;
    // What the page holds for the collection, once collected.
    window.gc?.();
    const core = await loadCore;
    return { drawn, status: status.textContent, elements: document.querySelectorAll("*").length,
             wasm: core.memory.buffer.byteLength, heap: performance.memory?.usedJSHeapSize ?? 0 };
  });
  const loadedMemory = browser.pids().reduce((n, pid) => n + treeMemory(pid), 0);
  const floor = await browser.evaluate(async () => {
    const t0 = performance.now();
    for (const f of window.benchFiles) await f.slice(0, 134660).arrayBuffer();
    return performance.now() - t0;
  });
  const download = await browser.evaluate(async () => {
    const core = await loadCore;
    let blob;
    URL.createObjectURL = b => { blob = b; return "blob:"; };
    HTMLAnchorElement.prototype.click = () => {};
    const t0 = performance.now();
    document.getElementById("zip-all").click();
    while (!blob) await new Promise(r => setTimeout(r, 1));
    const zip = performance.now() - t0;
    const views = loaded().flatMap(b => b.patches.map(p => bytesOf(core, p)));
    const t1 = performance.now();
    const plain = new Blob(views);
    const floor = performance.now() - t1;
    return { zip, floor, size: blob.size };
  });
  const after = browser.pids().reduce((n, pid) => n + treeMemory(pid), 0);
  const search = await browser.evaluate(async () => {
    const find = document.getElementById("find");
    const times = [];
    for (const typed of ["0500s064", "s12", "zzz"]) {
      const t0 = performance.now();
      find.value = typed;
      find.dispatchEvent(new Event("input"));
      void document.body.offsetHeight;
      times.push(performance.now() - t0);
    }
    const patches = collection.banks.reduce((n, b) => n + (b.patches?.length ?? 0), 0);
    return { worst: Math.max(...times), patches };
  });
  const mb = n => (n / 1e6).toFixed(0);
  console.log(`bench ${engine}: ${files.length} banks, ${mb(bytes)} MB; ${overview.status}`);
  console.log(`bench ${engine}: pick to overview ${overview.drawn.toFixed(0)} ms` +
              `, floor ${floor.toFixed(0)} ms (ratio ${(overview.drawn / floor).toFixed(1)})` +
              `, ${overview.elements} elements`);
  console.log(`bench ${engine}: download all ${download.zip.toFixed(0)} ms (${mb(download.size)} MB), ` +
              `floor ${download.floor.toFixed(0)} ms (ratio ${(download.zip / Math.max(download.floor, 1)).toFixed(1)})`);
  console.log(`bench ${engine}: memory: WebAssembly ${mb(overview.wasm)} MB` +
              (overview.heap ? `, script heap ${mb(overview.heap)} MB` : "") +
              ` (${((overview.wasm + overview.heap) / bytes).toFixed(2)}x the banks' bytes); ` +
              `the browser's processes grew by ${mb(loadedMemory - before)} MB ` +
              `(${((loadedMemory - before) / bytes).toFixed(2)}x) with the collection shown, ` +
              `by ${mb(after - before)} MB (${((after - before) / bytes).toFixed(2)}x) once the .zip was made too`);
  console.log(`bench ${engine}: search over ${search.patches} patches, slowest answer ${search.worst.toFixed(1)} ms`);
} finally {
  await browser.close();
  fs.rmSync(scratch, { recursive: true, force: true });
}
