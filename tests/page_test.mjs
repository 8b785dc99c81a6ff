// The browser page, driven in one engine (VORTRIM_ENGINE: chromium, firefox
// or webkit) from file:// and from a server on 127.0.0.1: banks dropped or
// picked, what the page shows, and the .zip it gives, compared with texts
// spelled out here and with the bank builder's bytes (VORTRIM_BANKS).
// Exits 77, which the test runner reports as skipped, where the engine or a
// display for it is missing.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";

const require = createRequire(import.meta.url);
const engine = process.env.VORTRIM_ENGINE;
const pageFile = process.env.VORTRIM_PAGE;
const banks = process.env.VORTRIM_BANKS;
const nodeModules = process.env.VORTRIM_NODE_MODULES;
const fromModules = name => require(path.join(nodeModules, name));

const programs = {
  chromium: "/usr/bin/chromium",
  firefox: "/usr/bin/firefox-esr",
  webkit: "/usr/bin/WebKitWebDriver",
};
const miniBrowser = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";
if (!fs.existsSync(programs[engine]) || (engine === "webkit" && !fs.existsSync(miniBrowser))) {
  console.log(`skipped: needs ${programs[engine]}`);
  process.exit(77);
}
// WebKit has no headless mode, and its driver waits forever without a display.
if (engine === "webkit" && !process.env.DISPLAY) {
  const xvfb = spawnSync("sh", ["-c", "command -v xvfb-run"]).status === 0;
  if (!xvfb) {
    console.log("skipped: WebKit needs a display, or xvfb-run to make one");
    process.exit(77);
  }
  const run = spawnSync("xvfb-run", ["-a", process.execPath, ...process.argv.slice(1)], { stdio: "inherit" });
  process.exit(run.status ?? 1);
}

const bytesOf = file => fs.readFileSync(path.join(banks, file));
const builderBytes = (bank, slot) => bytesOf(`${bank}.${slot}.bin`);

// One browser for every row, behind the few steps the rows need.
let browser;
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "vortrim-page-"));

async function openPuppeteer() {
  const puppeteer = fromModules("puppeteer-core");
  const b = await puppeteer.launch({
    browser: engine === "chromium" ? "chrome" : "firefox",
    executablePath: programs[engine],
    headless: true,
    userDataDir: path.join(scratch, "profile"),
    // No connection of the browser's own: this machine may have no network.
    args: engine === "chromium"
      ? ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-sync",
         "--disable-background-networking", "--disable-component-update"]
      : [],
  });
  const page = await b.newPage();
  return {
    goto: url => page.goto(url),
    evaluate: (fn, ...args) => page.evaluate(fn, ...args),
    pick: async files => (await page.$("#files")).uploadFile(...files),
    close: () => b.close(),
  };
}

async function openWebKit() {
  const { Builder, By } = fromModules("selenium-webdriver");
  // A port that is free now: the driver takes no port of its own choosing.
  const port = await new Promise(resolve => {
    const probe = http.createServer().listen(0, "127.0.0.1", () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
  // Downloads and caches go under a scratch home.
  const driver = spawn(programs.webkit, [`--port=${port}`], {
    stdio: "ignore", env: { ...process.env, HOME: scratch } });
  let session;
  for (let tries = 0; !session; ++tries) {
    try {
      session = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
        browserName: "MiniBrowser",
        "webkitgtk:browserOptions": { binary: miniBrowser, args: ["--automation"] },
      }).build();
    } catch (e) {
      if (tries > 50) throw e;
      await new Promise(r => setTimeout(r, 200));
    }
  }
  return {
    goto: url => session.get(url),
    evaluate: (fn, ...args) => session.executeScript(`return (${fn}).apply(null, arguments)`, ...args),
    pick: async files => session.findElement(By.css("#files")).sendKeys(files.join("\n")),
    close: async () => { await session.quit(); driver.kill(); },
  };
}

// The page over http, every request noted.
const requests = [];
const server = http.createServer((req, res) => {
  requests.push(req.url);
  if (req.url !== "/vortrim.html") {
    res.writeHead(404).end();
    return;
  }
  res.writeHead(200, { "Content-Type": "text/html; charset=utf-8" }).end(fs.readFileSync(pageFile));
});

before(async () => {
  await new Promise(r => server.listen(0, "127.0.0.1", r));
  browser = engine === "webkit" ? await openWebKit() : await openPuppeteer();
});
after(async () => {
  await browser?.close();
  server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

const origins = {
  file: () => "file://" + path.resolve(pageFile),
  http: () => `http://127.0.0.1:${server.address().port}/vortrim.html`,
};

// Loads the page afresh and hands it the banks: dropped as a person drops
// files, or through the file button.
async function give(origin, files, how) {
  await browser.goto(origins[origin]());
  if (how === "pick") {
    await browser.pick(files.map(f => path.join(banks, f)));
  } else {
    await browser.evaluate((dropped) => {
      const transfer = new DataTransfer();
      for (const [name, base64] of dropped) {
        transfer.items.add(new File([Uint8Array.from(atob(base64), c => c.charCodeAt(0))], name));
      }
      document.dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }, files.map(f => [path.basename(f), bytesOf(f).toString("base64")]));
  }
  // What the page shows of each bank, once it says it has read them; and
  // each .zip it offers, as the download would get it.
  return browser.evaluate(async () => {
    for (let i = 0; i < 500 && !document.getElementById("status").textContent.startsWith("Read "); ++i) {
      await new Promise(r => setTimeout(r, 10));
    }
    // The .zip as the download would get it; the download itself is left
    // out, as browsers under a driver save it differently or not at all.
    const zips = [];
    const objectUrl = URL.createObjectURL;
    URL.createObjectURL = blob => { zips.push(blob); return objectUrl(blob); };
    HTMLAnchorElement.prototype.click = () => {};
    const shown = [];
    for (const section of document.querySelectorAll(".bank")) {
      const button = [...section.querySelectorAll("button")].find(b => b.textContent.startsWith("Download"));
      let zip = null;
      if (button) {
        button.click();
        const bytes = new Uint8Array(await zips.pop().arrayBuffer());
        zip = btoa(Array.from(bytes, b => String.fromCharCode(b)).join(""));
      }
      shown.push({
        heading: section.querySelector("h2").textContent,
        refused: section.querySelector("p.refused")?.textContent ?? null,
        summary: section.querySelector(".summary")?.textContent ?? null,
        text: section.querySelector("pre")?.textContent ?? null,
        rows: [...section.querySelectorAll("tbody tr")].map(tr => [...tr.cells].map(c => c.textContent)),
        button: button?.textContent ?? null,
        zip,
      });
    }
    return { status: document.getElementById("status").textContent, shown };
  });
}

// A .zip's entries, read by a reader of its own: name, bytes and whether
// the name is flagged as UTF-8.
async function entries(base64) {
  const JSZip = fromModules("jszip");
  const bytes = Buffer.from(base64, "base64");
  const zip = await JSZip.loadAsync(bytes);
  const out = {};
  for (const entry of Object.values(zip.files)) {
    if (entry.dir) continue;
    out[entry.name] = Buffer.from(await entry.async("uint8array"));
  }
  // General purpose flag bit 11 of each local header.
  const flagged = [];
  for (let at = bytes.indexOf("PK\x03\x04"); at >= 0; at = bytes.indexOf("PK\x03\x04", at + 4)) {
    if (bytes.readUInt16LE(at + 6) & 0x800) flagged.push(bytes.subarray(at + 30, at + 30 + bytes.readUInt16LE(at + 26)).toString());
  }
  return { files: out, flagged };
}

const demoText = `"DEMO.KAA" contains 12 patches. 112108 bytes (85.53% of memory) free.
number name     sources  size
    1  GlassPad  AP----  1060
    2  Bells     AAPP--  2038
    3  Brass 2   P-----   168
    8  Init      P-----   168
    5  SynStrg   AAAAAA  5434
    4  Organ B3  PPP---   340
   13  Choir     AA----  1866
   10  Init      P-----   168
   21  Bass/Sub  PA----  1060
   34  E.Piano   APAPA-  2930
   65  Sweep     AAA---  2758
  128  Noise     A-----   974
`;
const incompatible = "Cannot open KA1 file! (Patch name may be incompatible.)";
// The files names.KAA gives, by slot: the rest of its patches are refused.
const namesFiles = { 1: "Bass_Sub.KA1", 2: "Init.KA1", 3: "init~2.KA1", 6: "Café €.KA1",
                     8: "Strings1.KA1", 9: "String~2.KA1" };
const namesZip = Object.entries(namesFiles).map(([slot, file]) => `${slot} names/${file}`);
const full = Array.from({ length: 128 }, (_, i) => `Full${String(i + 1).padStart(3, "0")}`);
// The shared table's damaged banks, each refused with its name as the page
// is given it.
const refusals = fs.readFileSync(path.join(banks, "refusals.tsv"), "utf8").split("\n").filter(Boolean)
  .map(line => line.split("\t"))
  .map(([file, words]) => ({ file, message: `"${path.basename(file)}" ${words}` }));

// Each row: the banks given, how, and what the page must show for each.
// `files`: the .zip's entries, each "SLOT NAME" (its bytes the builder's
// patch of that slot); `shown`: the table's number, name and file columns.
const rows = [
  { what: "the demo bank", give: ["DEMO.KAA"], how: "drop",
    banks: [{ heading: "DEMO.KAA", text: demoText, button: "Download DEMO.zip", entries: 12,
              summary: demoText.split("\n")[0] }] },
  { what: "a full bank, entry by entry", give: ["full.KAA"], how: "pick",
    banks: [{ summary: '"full.KAA" contains 128 patches. 72854 bytes (55.58% of memory) free.',
              files: full.map((n, i) => `${i + 1} full/${n}.KA1`) }] },
  { what: "names that need _, ~N, refusals and Windows-1252", give: ["names.KAA"], how: "drop",
    banks: [{ shown: [["1", "Bass/Sub", "Bass_Sub.KA1"], ["2", "Init    ", "Init.KA1"],
                      ["3", "init    ", "init~2.KA1"], ["4", "COM1    ", incompatible],
                      ["5", "Vox?    ", incompatible], ["6", "Café €  ", "Café €.KA1"],
                      ["7", "Tab?x   ", incompatible], ["8", "Strings1", "Strings1.KA1"],
                      ["9", "Strings1", "String~2.KA1"]],
              files: namesZip, utf8: ["names/Café €.KA1"] }] },
  { what: "each damaged bank of the shared table refused with the program's message", how: "drop",
    give: refusals.map(r => r.file), banks: refusals.map(r => ({ refused: r.message })),
    status: `Read ${refusals.length} banks; ${refusals.length} could not be read.` },
  { what: "an empty file, a file that is no bank, a patch file", give: ["empty.KAA", "notabank.KAA", "Pad.ka1"],
    how: "pick",
    banks: [{ heading: "empty.KAA", refused: '"empty.KAA" is not a K5000 bank: it is too short to be one.' },
            { heading: "notabank.KAA",
              refused: '"notabank.KAA" is damaged: patch 1 claims 65 sources, and a patch has at most 6.' },
            { heading: "Pad.ka1", refused: '"Pad.ka1" is not a K5000 bank: it is too short to be one. ' +
                                           "A .KA1 file holds one patch, not a bank." }] },
  { what: "two banks at once, a .zip each", give: ["DEMO.KAA", "names.KAA"], how: "pick",
    banks: [{ button: "Download DEMO.zip", entries: 12 },
            { button: "Download names.zip", files: namesZip }],
    status: "Read 2 banks." },
];

fs.copyFileSync(process.env.VORTRIM_DEMO_BANK, path.join(banks, "DEMO.KAA"));

for (const origin of Object.keys(origins)) {
  for (const row of rows) {
    test(`${engine}, ${origin}: ${row.what}`, async () => {
      const got = await give(origin, row.give, row.how);
      assert.equal(got.shown.length, row.banks.length);
      if (row.status) assert.equal(got.status, row.status);
      for (const [i, want] of row.banks.entries()) {
        const shown = got.shown[i];
        assert.equal(shown.heading, want.heading ?? path.basename(row.give[i]));
        assert.equal(shown.refused, want.refused ?? null);
        if (want.refused) {
          assert.equal(shown.zip, null, "a refused bank offers no .zip");
          continue;
        }
        if (want.summary) assert.equal(shown.summary, want.summary);
        if (want.text) assert.equal(shown.text, want.text);
        if (want.button) assert.equal(shown.button, want.button);
        if (want.shown) assert.deepEqual(shown.rows.map(r => [r[0], r[1], r[4]]), want.shown);
        const zip = await entries(shown.zip);
        if (want.entries) assert.equal(Object.keys(zip.files).length, want.entries);
        if (want.files) {
          const names = want.files.map(f => f.slice(f.indexOf(" ") + 1));
          assert.deepEqual(Object.keys(zip.files).sort(), [...names].sort());
          const bank = row.give[i];
          for (const f of want.files) {
            const [slot, name] = [f.slice(0, f.indexOf(" ")), f.slice(f.indexOf(" ") + 1)];
            assert.ok(zip.files[name].equals(builderBytes(bank, slot)), `${name}: the builder's bytes`);
          }
        }
        if (want.utf8) assert.deepEqual(zip.flagged, want.utf8);
      }
    });
  }
}

test(`${engine}: no violations found by axe-core`, async () => {
  await give("http", ["DEMO.KAA", "short.KAA"], "drop");
  const violations = await browser.evaluate(async (axe) => {
    // Added as the page's own scripts are: inline, which its policy allows
    // (WebKit refuses eval from a driver there).
    const script = document.createElement("script");
    script.textContent = axe;
    document.head.append(script);
    const result = await window.axe.run(document);
    return result.violations.map(v => `${v.id}: ${v.nodes.length} (${v.help})`);
  }, fs.readFileSync(path.join(nodeModules, "axe-core/axe.min.js"), "utf8"));
  assert.deepEqual(violations, []);
});

// Only Chromium offers a folder picker, and no driver can answer its
// dialog: the browser's private origin storage stands in for the folder
// picked, over http (file:// has none).
test(`${engine}: "Save into a folder" writes the .zip's files`, { skip: engine !== "chromium" && "no folder picker in this engine" }, async () => {
  await give("http", ["names.KAA"], "drop");
  const saved = await browser.evaluate(async () => {
    const root = await navigator.storage.getDirectory();
    window.showDirectoryPicker = async () => root;
    [...document.querySelectorAll("button")].find(b => b.textContent.startsWith("Save")).click();
    for (let i = 0; i < 500 && !document.querySelector(".bank p[role=status]").textContent; ++i) {
      await new Promise(r => setTimeout(r, 10));
    }
    const out = {};
    const dir = await root.getDirectoryHandle("names");
    for await (const [name, handle] of dir.entries()) {
      const bytes = new Uint8Array(await (await handle.getFile()).arrayBuffer());
      out[name] = btoa(Array.from(bytes, b => String.fromCharCode(b)).join(""));
    }
    return out;
  });
  assert.deepEqual(Object.keys(saved).sort(), Object.values(namesFiles).sort());
  for (const [slot, name] of Object.entries(namesFiles)) {
    assert.ok(Buffer.from(saved[name], "base64").equals(builderBytes("names.KAA", slot)), name);
  }
});

// Not a test but a measurement, run with VORTRIM_BENCH set: a full bank
// from its bytes to the .zip, against a floor that only zips the same 128
// patches, and from its bytes to the table laid out on the page; medians
// of 51 runs in one page.
test(`${engine}: benchmark, a full bank from its bytes to the .zip`, { skip: !process.env.VORTRIM_BENCH && "set VORTRIM_BENCH to measure" }, async () => {
  await browser.goto(origins.file());
  const times = await browser.evaluate(async (base64) => {
    const bytes = Uint8Array.from(atob(base64), c => c.charCodeAt(0));
    const core = await loadCore;
    const date = new Date(2026, 0, 1);
    const median = a => a.sort((p, q) => p - q)[a.length >> 1];
    const table = [], zip = [], floor = [];
    let slices;
    for (let run = 0; run < 51; ++run) {
      // The .zip needs no table: bytes to .zip, then bytes to the table.
      const t0 = performance.now();
      zipOf(readBank(core, "full.KAA", bytes), date);
      const t1 = performance.now();
      const bank = readBank(core, "full.KAA", bytes);
      const section = showBank(bank, date);
      document.getElementById("banks").replaceChildren(section);
      void section.offsetHeight;  // laid out
      const t2 = performance.now();
      slices ??= Object.fromEntries(bank.patches.map(p => [p.file, [p.bytes, { level: 0, mtime: date }]]));
      const t3 = performance.now();
      fflate.zipSync({ full: slices });
      const t4 = performance.now();
      zip.push(t1 - t0); table.push(t2 - t1); floor.push(t4 - t3);
    }
    return { table: median(table), zip: median(zip), floor: median(floor) };
  }, bytesOf("full.KAA").toString("base64"));
  console.log(`bench ${engine}: bytes to .zip ${times.zip.toFixed(2)} ms, zipping alone ${times.floor.toFixed(2)} ms ` +
              `(ratio ${(times.zip / times.floor).toFixed(1)}); bytes to the table ${times.table.toFixed(2)} ms`);
});

test(`${engine}: no request besides the page itself`, () => {
  assert.ok(requests.length > 0);
  assert.deepEqual([...new Set(requests)], ["/vortrim.html"]);
});
