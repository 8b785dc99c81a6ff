// The browser page, driven in one engine (VORTRIM_ENGINE: chromium, firefox
// or webkit) from file:// and from a server on 127.0.0.1: banks and folders
// dropped or picked, what the page shows, and the .zip files it gives,
// compared with texts spelled out here and with the bank builder's bytes
// (VORTRIM_BANKS). Exits 77, which the test runner reports as skipped,
// where the engine or a display for it is missing.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";
import { needEngine, openBrowser, servePage } from "./page_driver.mjs";

const require = createRequire(import.meta.url);
const engine = process.env.VORTRIM_ENGINE;
const pageFile = process.env.VORTRIM_PAGE;
const banks = process.env.VORTRIM_BANKS;
const nodeModules = process.env.VORTRIM_NODE_MODULES;
needEngine(engine);

const bytesOf = file => fs.readFileSync(path.join(banks, file));
fs.copyFileSync(process.env.VORTRIM_DEMO_BANK, path.join(banks, "DEMO.KAA"));
const builderBytes = (bank, slot) => bytesOf(`${bank}.${slot}.bin`);

let browser, server;
const requests = [];
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "vortrim-page-"));
before(async () => {
  server = await servePage(pageFile, requests, {
    // A browser that cannot start the core.
    "no-core": "WebAssembly.instantiate = () => Promise.reject(new Error('refused here'));",
    // Web MIDI and an instrument behind it (tests/midi_stand_in.js).
    midi: fs.readFileSync(new URL("./midi_stand_in.js", import.meta.url), "utf8") });
  browser = await openBrowser(engine, scratch);
});
after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

const origins = {
  file: () => "file://" + path.resolve(pageFile),
  http: () => `http://127.0.0.1:${server.address().port}/vortrim.html`,
};

// Loads the page afresh from `origin` (with `query`, see servePage), with the steps that the rows take in
// it: `until` waits (up to five seconds) for a condition, `base64Of` hands
// a Blob's bytes back to the test, and every download is kept in
// `downloads` instead of saved, as browsers under a driver save it
// differently or not at all.
async function load(origin, query = "") {
  await browser.goto(origins[origin]() + query);
  await browser.evaluate(() => {
    window.until = async (holds, tries = 500) => {
      for (let t = 0; t < tries && !holds(); ++t) await new Promise(r => setTimeout(r, 10));
    };
    window.base64Of = async blob =>
      btoa(Array.from(new Uint8Array(await blob.arrayBuffer()), b => String.fromCharCode(b)).join(""));
    window.downloads = [];
    const objectUrl = URL.createObjectURL;
    URL.createObjectURL = blob => { downloads.push(blob); return objectUrl(blob); };
    HTMLAnchorElement.prototype.click = function () { downloads.at(-1).fileName = this.download; };
  });
}

// Hands the page the banks, as a person would: dropped ("drop", each file
// by its name), a folder dropped ("drop-folder": the folder's files with
// their paths, walked as the browser hands them over; "drop-gone": a file
// moved away before the browser could read it), through the file button
// ("pick") or the folder button ("pick-folder"). Every read of a file's
// bytes is noted, for the largest.
async function give(files, how) {
  await browser.evaluate(() => {
    document.getElementById("status").textContent = "";
    window.largestRead = 0;
    const arrayBuffer = Blob.prototype.arrayBuffer;
    Blob.prototype.arrayBuffer = function () {
      window.largestRead = Math.max(window.largestRead, this.size);
      return arrayBuffer.call(this);
    };
  });
  if (how === "pick") return browser.pick(files.map(f => path.join(banks, f)));
  if (how === "pick-folder") return browser.pick([path.join(banks, files[0])], "#folder");
  const dropped = (how === "drop-folder" ? listFolder(files[0]) : files)
    .map(f => [how === "drop" ? path.basename(f) : f, bytesOf(f).toString("base64")]);
  await browser.evaluate((dropped, how) => {
    const file = ([name, base64]) => new File([Uint8Array.from(atob(base64), c => c.charCodeAt(0))],
                                              name.slice(name.lastIndexOf("/") + 1));
    const transfer = new DataTransfer();
    const event = new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true });
    if (how === "drop-gone") {
      // A file whose bytes the browser can no longer get.
      const [name] = dropped[0];
      const gone = { name, size: 134660, lastModified: 0,
                     slice: () => ({ arrayBuffer: () => Promise.reject(new DOMException("gone", "NotFoundError")) }) };
      Object.defineProperty(event, "dataTransfer", { value: { files: [], items: [{ kind: "file",
        webkitGetAsEntry: () => ({ name, fullPath: "/" + name, isFile: true, isDirectory: false }),
        getAsFile: () => gone }] } });
    } else if (!dropped.some(([name]) => name.includes("/"))) {
      for (const f of dropped) transfer.items.add(file(f));
    } else {
      // A folder, as the browser's file system entries hand it over.
      const entry = (name, children) => ({
        name, fullPath: "/" + name, isFile: !children, isDirectory: !!children,
        file: (ok) => ok(file(dropped.find(([n]) => n === name))),
        createReader: () => { let given = false; return { readEntries: ok => ok(given ? [] : (given = true, children)) }; },
      });
      const folder = prefix => {
        const below = dropped.map(([n]) => n).filter(n => n.startsWith(prefix + "/"));
        const names = [...new Set(below.map(n => n.slice(0, n.indexOf("/", prefix.length + 1) + 1 || n.length)))];
        return entry(prefix, names.map(n => n.endsWith("/") ? folder(n.slice(0, -1)) : entry(n)));
      };
      const top = folder(dropped[0][0].slice(0, dropped[0][0].indexOf("/")));
      Object.defineProperty(event, "dataTransfer", { value: {
        items: [{ kind: "file", webkitGetAsEntry: () => top, getAsFile: () => null }], files: [] } });
    }
    document.dispatchEvent(event);
  }, dropped, how);
}

// Every file under a folder of the banks, by its path there.
const listFolder = folder => fs.readdirSync(path.join(banks, folder), { recursive: true })
  .map(f => path.join(folder, f)).filter(f => fs.statSync(path.join(banks, f)).isFile());

// What the page shows once it has read what it was given: the status, the
// totals, each refused bank's message and each bank's summary with the
// notes under it; and, for each bank to `open` (by its place in the list),
// what opening it shows: its table, the listing, what each patch says of
// its copies and the .zip its button gives (as the download would get it).
function shown(open) {
  return browser.evaluate(async open => {
    const $ = id => document.getElementById(id);
    await until(() => !/^(Reading|$)/.test($("status").textContent), 1000);
    const result = {
      status: $("status").textContent, totals: $("totals").textContent, largestRead: window.largestRead,
      elements: $("banks").querySelectorAll("*").length + $("refused").querySelectorAll("*").length,
      refused: [...$("refused").children].map(li => li.querySelector(".line").textContent),
      rescued: [...$("refused").children].map(li => li.querySelector("summary")?.textContent ?? ""),
      banks: [...$("banks").children].map(li => li.querySelector("summary .line").textContent),
      notes: [...$("banks").children].map(li =>
        [...li.querySelectorAll("summary .why")].filter(n => !n.hidden).map(n => n.textContent).join(" | ")),
      opened: [],
    };
    for (const i of open) {
      const details = $("banks").children[i].querySelector("details");
      details.open = true;
      await until(() => details.childElementCount > 1);
      const button = details.querySelector("button");
      button.click();
      await until(() => downloads.length);
      result.opened[i] = {
        text: details.querySelector("pre").textContent, button: button.textContent,
        // The file cell: the file's name and why it is renamed, if it is.
        rows: [...details.querySelectorAll("tbody tr")].map(tr => [...tr.cells].map((c, i) => i < 4 ? c.textContent
          : c.firstChild.textContent + (c.querySelector(".why:not(.bad):not(.copies):not([hidden])")?.textContent ?? ""))),
        copies: [...details.querySelectorAll("tbody .copies")].map(n => n.textContent),
        checks: [...details.querySelectorAll("tbody .bad")].map(n => n.textContent),
        zip: await base64Of(downloads.pop()) };
    }
    if (!$("zip-all").disabled) $("zip-all").click();
    await until(() => $("zip-all").disabled || downloads.length);
    result.all = downloads.length ? await base64Of(downloads.pop()) : null;
    return result;
  }, open);
}

// A .zip's entries, read by a reader of its own: name and bytes, and the
// names flagged as UTF-8.
async function entries(base64) {
  const JSZip = require(path.join(nodeModules, "jszip"));
  const bytes = Buffer.from(base64, "base64");
  const zip = await JSZip.loadAsync(bytes, { checkCRC32: true });
  const files = {};
  for (const entry of Object.values(zip.files)) {
    if (!entry.dir) files[entry.name] = Buffer.from(await entry.async("uint8array"));
  }
  // General purpose flag bit 11 of each local header.
  const flagged = [];
  for (let at = bytes.indexOf("PK\x03\x04"); at >= 0; at = bytes.indexOf("PK\x03\x04", at + 4)) {
    if (bytes.readUInt16LE(at + 6) & 0x800) flagged.push(bytes.subarray(at + 30, at + 30 + bytes.readUInt16LE(at + 26)).toString());
  }
  return { files, flagged };
}

// Checks files (by name, with their bytes) against `want`: "BANK SLOT NAME"
// each, the file NAME holding the bank builder's bytes of patch SLOT of BANK.
function sameFiles(files, want) {
  const rows = want.map(w => w.split(" ")).map(([bank, slot, ...name]) => [bank, slot, name.join(" ")]);
  assert.deepEqual(Object.keys(files).sort(), rows.map(r => r[2]).sort());
  for (const [bank, slot, name] of rows) {
    assert.ok(files[name].equals(builderBytes(bank, slot)), `${name}: the builder's bytes`);
  }
}

// The files that unzip (Info-ZIP's), bsdtar and Python's zipfile unpack a
// .zip into, each checked as sameFiles checks them. Where one of them is
// missing the test is reported as skipped, after the others have run.
const unpackers = {
  unzip: (zip, to) => ["unzip", "-q", zip, "-d", to],
  bsdtar: (zip, to) => ["bsdtar", "-xf", zip, "-C", to],
  python3: (zip, to) => ["python3", "-m", "zipfile", "-e", zip, to],
};
// The files under `dir` (a Buffer) by their names as written there (bytes
// that are no UTF-8 read as U+FFFD), with their bytes.
function filesUnder(dir, prefix = "", files = {}) {
  for (const name of fs.readdirSync(dir, { encoding: "buffer" })) {
    const at = Buffer.concat([dir, Buffer.from("/"), name]);
    const shown = prefix + new TextDecoder().decode(name);
    if (fs.statSync(at).isDirectory()) filesUnder(at, shown + "/", files);
    else files[shown] = fs.readFileSync(at);
  }
  return files;
}

async function unpackedAlike(t, base64, want) {
  const zip = path.join(scratch, "all.zip");
  fs.writeFileSync(zip, Buffer.from(base64, "base64"));
  const missing = [];
  for (const [name, command] of Object.entries(unpackers)) {
    const to = fs.mkdtempSync(path.join(scratch, name + "-"));
    const [program, ...args] = command(zip, to);
    // As a musician's desktop has it: names in UTF-8.
    const run = spawnSync(program, args, { env: { ...process.env, LC_ALL: "C.UTF-8" }, encoding: "utf8" });
    if (run.error?.code === "ENOENT") {
      missing.push(program);
      continue;
    }
    assert.equal(run.status, 0, `${program}: ${run.stderr}`);
    sameFiles(filesUnder(Buffer.from(to)), want);
  }
  if (missing.length) t.skip(`needs ${missing.join(", ")}`);
}

// The same for a .zip's entries.
async function sameEntries(base64, want) {
  const zip = await entries(base64);
  sameFiles(zip.files, want);
  return zip;
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
// The files names.KAA and accents.KAA give, by slot, and what the table
// says of each: a name Windows refuses is renamed, never left out.
const namesFiles = { 1: "Bass_Sub.KA1", 2: "Init.KA1", 3: "init~2.KA1", 4: "COM1_.KA1", 5: "Vox_.KA1",
                     6: "Café €.KA1", 7: "Tab_x.KA1", 8: "Strings1.KA1", 9: "String~2.KA1" };
const namesShown = [["1", "Bass/Sub", "Bass_Sub.KA1"], ["2", "Init    ", "Init.KA1"],
  ["3", "init    ", "init~2.KA1"], ["4", "COM1    ", "COM1_.KA1renamed: Windows keeps COM1 for a device"],
  ["5", "Vox?    ", "Vox_.KA1renamed: Windows does not allow ? in a name"], ["6", "Café €  ", "Café €.KA1"],
  ["7", "Tab?x   ", "Tab_x.KA1renamed: Windows does not allow control characters in a name"],
  ["8", "Strings1", "Strings1.KA1"], ["9", "Strings1", "String~2.KA1"]];
const accentsFiles = { 1: "Chéur.KA1", 2: "CHÉUR~2.KA1", 3: "lpt1_.x.KA1", 4: "A_B.KA1" };
const inZip = (bank, files, folder) => Object.entries(files).map(([slot, f]) => `${bank} ${slot} ${folder}/${f}`);
const full = Array.from({ length: 128 }, (_, i) => `full.KAA ${i + 1} full/Full${String(i + 1).padStart(3, "0")}.KA1`);
// The shared table's damaged banks, each refused with its name as the page
// is given it.
const refusals = fs.readFileSync(path.join(banks, "refusals.tsv"), "utf8").split("\n").filter(Boolean)
  .map(line => line.split("\t")).map(([file, words]) => ({ file, message: `"${path.basename(file)}" ${words}` }));
const summary = (name, patches, free, percent) =>
  `"${name}" contains ${patches} patches. ${free} bytes (${percent}% of memory) free.`;
// The collection folder, as dropped or picked: its banks in the order of
// their paths, the refused one above them, copies noted, files that are no
// banks counted, and one .zip with a folder for each bank.
const collection = {
  refused: ['"Collection/Broken/short.KAA" is not a K5000 bank: it is too short to be one.'],
  banks: [summary("Collection/Factory/names.KAA", 9, 127862, "97.55"),
          summary("Collection/Live 2003/NAMES.kaa", 4, 128702, "98.19"),
          summary("Collection/Live 2003/names.KAA", 9, 127862, "97.55")],
  opened: [{ button: "Download names.zip", files: inZip("names.KAA", namesFiles, "names") }],
  totals: "3 banks, 22 patches (18 also in another bank; 4 fail a check), 1 could not be read, 2 other files skipped.",
  all: [...inZip("names.KAA", namesFiles, "Collection/Factory/names"),
        ...inZip("accents.KAA", accentsFiles, "Collection/Live 2003/NAMES"),
        ...inZip("names.KAA", namesFiles, "Collection/Live 2003/names~2")],
  notes: ["The same patches as Collection/Live 2003/names.KAA.", "",
          "The same patches as Collection/Factory/names.KAA."],
};
// Four copies of names.KAA, each said once to hold the same patches as the
// others, and a bank that shares one patch with them, which its row names.
const none = n => Array(n).fill("");
const sameAs = bank => `The same patches as Copies/${bank}, and in 2 more banks.`;
const copies = {
  banks: [summary("Copies/Backup 2019/names.KAA", 9, 127862, "97.55"), summary("Copies/Factory/names.KAA", 9, 127862, "97.55"),
          summary("Copies/Live/mix.KAA", 2, 129758, "99.00"), summary("Copies/Live/names.KAA", 9, 127862, "97.55"),
          summary("Copies/Old/NAMES.KAA", 9, 127862, "97.55")],
  notes: [sameAs("Factory/names.KAA"), sameAs("Backup 2019/names.KAA"), "", sameAs("Backup 2019/names.KAA"),
          sameAs("Backup 2019/names.KAA")],
  opened: [{ copies: ["also in Copies/Live/mix.KAA, slot 1", ...none(8)] }, null,
           { copies: ["also in Copies/Backup 2019/names.KAA, slot 1; Copies/Factory/names.KAA, slot 1; " +
                      "Copies/Live/names.KAA, slot 1; and 1 more", ""] }],
  totals: "5 banks, 38 patches (37 also in another bank; 4 fail a check).",
};
// Folders named in Greek and with Š, each with a folder Windows takes for
// the same, and a bank named with a space at its end: the .zip's names as
// the page gives them, and as three unpackers give them back.
const greek = "Ελληνικά", GREEK = "ΕΛΛΗΝΙΚΆ";
const lettersFiles = { 1: "Café.KA1", 2: "Škoda.KA1", 3: "€uro.KA1" };
const mixFiles = { 1: "Bass_Sub.KA1", 2: "Solo.KA1" };
const letters = {
  banks: [summary("Letters/Škoda/A.KAA", 3, 129676, "98.93"), summary("Letters/škoda/a.KAA", 2, 129758, "99.00"),
          summary(`Letters/${GREEK}/bank.KAA`, 3, 129676, "98.93"), summary(`Letters/${greek}/Bank .KAA`, 2, 129758, "99.00"),
          summary(`Letters/${greek}/Bank.KAA`, 3, 129676, "98.93")],
  notes: [`The same patches as Letters/${GREEK}/bank.KAA, and in 1 more bank.`,
          `The same patches as Letters/${greek}/Bank .KAA.`, "The same patches as Letters/Škoda/A.KAA, and in 1 more bank.",
          "The same patches as Letters/škoda/a.KAA. | renamed: Windows drops dots and spaces at the end of a name",
          "The same patches as Letters/Škoda/A.KAA, and in 1 more bank."],
  all: [...inZip("letters.KAA", lettersFiles, "Letters/Škoda/A"), ...inZip("mix.KAA", mixFiles, "Letters/škoda/a~2"),
        ...inZip("letters.KAA", lettersFiles, `Letters/${GREEK}/bank`),
        ...inZip("mix.KAA", mixFiles, `Letters/${greek}/Bank_`),
        ...inZip("letters.KAA", lettersFiles, `Letters/${greek}/Bank~2`)],
};

// The shared table's damaged .syx files, each refused with its name as the
// page is given it, and how many whole patches each offers.
const sysexRefusals = fs.readFileSync(path.join(banks, "sysex-refusals.tsv"), "utf8").split("\n").filter(Boolean)
  .map(line => line.split("\t")).map(([file, words, rescued]) =>
    ({ file, message: `"${file}" ${words}`, rescued: Number(rescued) }))
  .sort((a, b) => a.file < b.file ? -1 : 1);
// The two .syx files that are read: a block dump and one-single dumps.
const edgesFiles = { 1: "Zero.KA1", 7: "Six.KA1", 8: "Seven.KA1", 126: "Late.KA1", 127: "Later.KA1", 128: "Last.KA1" };
const singlesFiles = { 3: "Pad.KA1", 6: "Again.KA1" };
const sysex = folder => ({
  banks: [summary(`${folder}edges.syx`, 6, 121144, "92.43"), summary(`${folder}singles.syx`, 2, 129844, "99.06")],
  notes: ["", "2 messages that are no patch skipped. | Tone 6 was given twice: the later patch is read, and " +
              "First before it is replaced."],
  opened: [{ files: inZip("edges.syx", edgesFiles, "edges") }, { files: inZip("singles.syx", singlesFiles, "singles") }],
});
const refuse = ": the instrument would refuse it, or the patch is damaged";

// Each row: the banks given, how, and what the page must show. `opened`:
// what each bank shows when opened, by its place in the list; `files`: the
// .zip's entries (see sameEntries).
const rows = [
  { what: "the demo bank", give: ["DEMO.KAA"], how: "drop", status: "Added DEMO.KAA.",
    banks: [demoText.split("\n")[0]], totals: "1 bank, 12 patches.",
    opened: [{ text: demoText, button: "Download DEMO.zip", entries: 12 }] },
  { what: "a full bank, entry by entry", give: ["full.KAA"], how: "pick",
    banks: [summary("full.KAA", 128, 72854, "55.58")], opened: [{ files: full }], all: full },
  { what: "names renamed, numbered and in Windows-1252", give: ["names.KAA", "accents.KAA"], how: "drop",
    status: "Added 2 banks.",
    opened: [{ button: "Download accents.zip", files: inZip("accents.KAA", accentsFiles, "accents"),
               utf8: ["accents/Chéur.KA1", "accents/CHÉUR~2.KA1"] },
             { shown: namesShown, files: inZip("names.KAA", namesFiles, "names"), utf8: ["names/Café €.KA1"] }] },
  { what: "each damaged bank of the shared table refused with the program's message", how: "drop",
    give: refusals.map(r => r.file), refused: refusals.map(r => r.message).sort(),
    status: `Added ${refusals.length} banks; ${refusals.length} could not be read, shown above the rest.` },
  { what: "an empty file, a file that is no bank, a patch file", give: ["empty.KAA", "notabank.KAA", "Pad.ka1"],
    how: "pick", refused: ['"Pad.ka1" is not a K5000 bank: it is too short to be one. A .KA1 file holds one patch, not a bank.',
                           '"empty.KAA" is not a K5000 bank: it is too short to be one.',
                           '"notabank.KAA" is damaged: patch 1 claims 65 sources, and a patch has at most 6.'] },
  { what: "one file that is no bank", give: ["notabank.KAA"], how: "drop",
    status: "notabank.KAA could not be read: see above the banks.", totals: "0 banks, 0 patches, 1 could not be read.",
    refused: ['"notabank.KAA" is damaged: patch 1 claims 65 sources, and a patch has at most 6.'] },
  { what: "a file moved away before it could be read", give: ["DEMO.KAA"], how: "drop-gone",
    refused: ['"DEMO.KAA" could not be read: the system reported an error.'],
    status: "DEMO.KAA could not be read: see above the banks." },
  { what: "a folder dropped: nested banks, two of one name, copies, a refused bank, other files",
    give: ["Collection"], how: "drop-folder", ...collection, status: "Added 4 banks; 1 could not be read, shown above the rest. 2 other files skipped." },
  { what: "a folder picked", give: ["Collection"], how: "pick-folder", ...collection,
    skip: engine !== "chromium" && "only Chromium's driver hands a folder to the folder input" },
  { what: "four copies of a bank and one that shares a patch", give: ["Copies"], how: "drop-folder", ...copies },
  { what: ".syx files in a folder: a block dump, one-single dumps, and each damaged one refused",
    give: ["SysEx"], how: "drop-folder", ...sysex("SysEx/"), refused: sysexRefusals.map(r => r.message),
    rescued: sysexRefusals.map(r => r.rescued ? `${r.rescued} whole patches can be saved.` : ""),
    totals: `2 banks, 8 patches, ${sysexRefusals.length} could not be read.` },
  { what: ".syx files picked", give: ["SysEx/edges.syx", "SysEx/singles.syx"], how: "pick", ...sysex(""),
    status: "Added 2 banks." },
  { what: "every patch checked, and marked where it fails", give: ["checks.KAA"], how: "drop",
    banks: [summary("checks.KAA", 5, 126664, "96.64")], totals: "1 bank, 5 patches (4 fail a check).",
    failing: ["Sum", "Kit", "Café", "Wave"],
    opened: [{ checks: ["its checksum does not match" + refuse, "the checksum of its additive kit 1 does not match" + refuse,
                        "its name holds é, which MIDI cannot carry",
                        "its sources make it 254 bytes long, not the bank's: the instrument would read it wrongly", ""] }] },
  { what: "folders in Greek and with Š, unpacked by unzip, bsdtar and Python", give: ["Letters"],
    how: "drop-folder", ...letters, unpacked: true },
  // Read no further than a bank reaches, it holds nothing: a bank of no patches.
  { what: "a 2 GiB file with a bank's name", give: ["huge.KAA"], how: "pick",
    banks: [summary("huge.KAA", 0, 131072, "100.00")], largestRead: 3588 + 131072 },
];

for (const origin of Object.keys(origins)) {
  for (const row of rows) {
    test(`${engine}, ${origin}: ${row.what}`, { skip: row.skip }, async t => {
      await load(origin);
      await give(row.give, row.how);
      const got = await shown((row.opened ?? []).flatMap((want, i) => want ? [i] : []));
      if (row.status) assert.equal(got.status, row.status);
      if (row.totals) assert.equal(got.totals, row.totals);
      assert.deepEqual(got.refused, row.refused ?? []);
      if (row.rescued) assert.deepEqual(got.rescued, row.rescued);
      if (row.banks) assert.deepEqual(got.banks, row.banks);
      if (row.largestRead) assert.ok(got.largestRead <= row.largestRead, `read ${got.largestRead} bytes of a file`);
      // Until a bank is opened the page holds a few elements for it.
      assert.ok(got.elements <= 40 * (got.banks.length + got.refused.length), `${got.elements} elements`);
      if (row.notes) assert.deepEqual(got.notes, row.notes);
      for (const [i, want] of (row.opened ?? []).entries()) {
        if (!want) continue;
        const opened = got.opened[i];
        if (want.text) assert.equal(opened.text, want.text);
        if (want.button) assert.equal(opened.button, want.button);
        if (want.shown) assert.deepEqual(opened.rows.map(r => [r[0], r[1], r[4]]), want.shown);
        if (want.entries) assert.equal(Object.keys((await entries(opened.zip)).files).length, want.entries);
        const zip = want.files && await sameEntries(opened.zip, want.files);
        if (want.utf8) assert.deepEqual(zip.flagged.filter(n => /[^\x00-\x7f]/.test(n)), want.utf8);
        if (want.copies) assert.deepEqual(opened.copies, want.copies);
        if (want.checks) assert.deepEqual(opened.checks, want.checks);
      }
      if (row.all) await sameEntries(got.all, row.all);
      if (row.unpacked) await unpackedAlike(t, got.all, row.all);
      if (row.failing) {
        const found = await browser.evaluate(async () => {
          document.getElementById("failing").click();
          await until(() => document.querySelector("#found tbody"));
          return [...document.querySelectorAll("#found tbody th")].map(th => th.textContent.trim());
        });
        assert.deepEqual(found, row.failing);
      }
    });
  }
}

test(`${engine}: adding keeps what was shown, open banks open; Clear empties it`, async () => {
  await load("http");
  await give(["DEMO.KAA"], "drop");
  await shown([0]);
  await give(["full.KAA"], "pick");
  const got = await shown([]);
  assert.deepEqual(got.banks, [demoText.split("\n")[0], summary("full.KAA", 128, 72854, "55.58")]);
  assert.equal(got.totals, "2 banks, 140 patches.");
  const still = await browser.evaluate(async () => {
    const open = document.querySelector("#banks details").open;
    document.getElementById("clear").click();
    await until(() => document.getElementById("status").textContent === "Cleared.");
    return { open, banks: document.querySelectorAll("#banks li").length, hidden: document.getElementById("collection").hidden };
  });
  assert.deepEqual(still, { open: true, banks: 0, hidden: true });
});

test(`${engine}: find a patch by name in the whole collection, and save it`, async () => {
  await load("http");
  await give(["Collection"], "drop-folder");
  await shown([]);
  const found = await browser.evaluate(async () => {
    const find = document.getElementById("find");
    find.value = "STRINGS";
    find.dispatchEvent(new Event("input"));
    await until(() => document.querySelector("#found p"));
    const rows = [...document.querySelectorAll("#found tbody tr")].map(tr => [...tr.cells].map(c => c.textContent));
    document.querySelector("#found tbody button").click();
    await until(() => downloads.length);
    return { said: document.querySelector("#found p").textContent, rows, name: downloads[0].fileName,
             bytes: await base64Of(downloads[0]) };
  });
  assert.equal(found.said, "4 patches.");
  assert.deepEqual(found.rows.map(r => r.slice(0, 3)), [
    ["Collection/Factory/names.KAA", "8", "Strings1"], ["Collection/Factory/names.KAA", "9", "Strings1"],
    ["Collection/Live 2003/names.KAA", "8", "Strings1"], ["Collection/Live 2003/names.KAA", "9", "Strings1"]]);
  assert.equal(found.name, "Strings1.KA1");
  assert.ok(Buffer.from(found.bytes, "base64").equals(builderBytes("names.KAA", 8)));
});

// A collection of more than 65535 patches (512 full banks): its .zip must
// count them all, in ZIP64's end records. Read here by the format's own
// rules: the end record says "see ZIP64", the locator leads to ZIP64's
// record, and that counts the entries that the central directory holds.
test(`${engine}: a .zip of more than 65535 patches counts them all`, async () => {
  await load("http");
  const got = await browser.evaluate(async () => {
    // 66,040 entries of one 168-byte patch, read from a stand-in for what
    // the core holds.
    const bytes = new Uint8Array(168).fill(7);
    const hold = { bytes: () => bytes, crc: () => 0x12345678 };
    const plan = { banks: Array.from({ length: 520 }, (_, b) => ({ folder: `B${b}`,
      files: Array.from({ length: 127 }, (_, i) => ({ file: `P${i}.KA1`, number: 0, size: 168 })) })) };
    const zip = await vortrim.makeZip(vortrim.planEntries(plan, hold, plan.banks.map(() => Date.UTC(2020, 0, 1))));
    const view = new DataView(await zip.arrayBuffer());
    const end = view.byteLength - 22, locator = end - 20;
    const zip64 = Number(view.getBigUint64(locator + 8, true));
    const size = Number(view.getBigUint64(zip64 + 40, true)), offset = Number(view.getBigUint64(zip64 + 48, true));
    let listed = 0;
    for (let at = offset; at < offset + size; ++listed) {
      if (view.getUint32(at, true) !== 0x02014b50) break;
      at += 46 + view.getUint16(at + 28, true) + view.getUint16(at + 30, true) + view.getUint16(at + 32, true);
    }
    return { end: [view.getUint32(end, true), view.getUint16(end + 8, true), view.getUint16(end + 10, true)],
             locator: view.getUint32(locator, true), zip64: view.getUint32(zip64, true),
             counts: [Number(view.getBigUint64(zip64 + 24, true)), Number(view.getBigUint64(zip64 + 32, true))],
             listed, directoryEnds: offset + size === zip64 };
  });
  assert.deepEqual(got, { end: [0x06054b50, 0xFFFF, 0xFFFF], locator: 0x07064b50, zip64: 0x06064b50,
                          counts: [66040, 66040], listed: 66040, directoryEnds: true });
});

// The three SysEx saves, byte for byte against the bank builder's dumps: a
// patch to the bank, tone and channel asked for (which the page then keeps
// for its session), a bank to the bank and channel chosen, and every bank
// of a collection in a .zip of their folders.
test(`${engine}: the SysEx saves give the dumps byte for byte`, async () => {
  await load("http");
  await give(["checks.KAA", "full.KAA"], "drop");
  await shown([]);
  const saved = await browser.evaluate(async () => {
    const $ = id => document.getElementById(id);
    const open = async i => {
      const details = $("banks").children[i].querySelector("details");
      details.open = true;
      await until(() => details.querySelector("tbody"));
      return details;
    };
    const full = await open(1);
    full.querySelectorAll("tbody tr")[4].querySelector("button").click();
    const form = $("syx-patch").querySelector("form");
    const asked = { bank: form.elements.bank.value, tone: form.elements.tone.value, channel: form.elements.channel.value };
    Object.assign(form.elements.bank, { value: "D" });
    Object.assign(form.elements.tone, { value: "100" });
    Object.assign(form.elements.channel, { value: "16" });
    form.querySelector("button[value=save]").click();
    await until(() => downloads.length === 1);
    const kept = { bank: $("sysex-bank").value, channel: $("sysex-channel").value };
    $("sysex-bank").value = "A";
    $("sysex-channel").value = "1";
    const checks = await open(0);
    [...checks.querySelectorAll(".actions button")].find(b => /SysEx/.test(b.textContent)).click();
    await until(() => downloads.length === 2);
    return { asked, kept, said: checks.querySelector("p[role=status]").textContent,
             files: await Promise.all(downloads.map(async d => [d.fileName, await base64Of(d)])) };
  });
  assert.deepEqual(saved.asked, { bank: "A", tone: "5", channel: "1" });
  assert.deepEqual(saved.kept, { bank: "D", channel: "16" });
  assert.deepEqual(saved.files.map(([name]) => name), ["Full005.syx", "checks.syx"]);
  assert.ok(Buffer.from(saved.files[0][1], "base64").equals(bytesOf("dumps/full.5.syx")), "the patch's dump");
  assert.ok(Buffer.from(saved.files[1][1], "base64").equals(bytesOf("dumps/checks.syx")), "the bank's dump");
  assert.equal(saved.said, "checks.syx holds 3 patches, for bank A on channel 1. Left out of checks.syx, their .KA1 " +
    "files kept as they are: slot 3, Café (its name holds é, which MIDI cannot carry); slot 4, Wave (its sources " +
    "make it 254 bytes long, not the bank's: the instrument would read it wrongly). In checks.syx as they are: " +
    `slot 1, Sum (its checksum does not match${refuse}); slot 2, Kit (the checksum of its additive kit 1 does ` +
    `not match${refuse}).`);

  await load("http");
  await give(["Collection"], "drop-folder");
  await shown([]);
  const all = await browser.evaluate(async () => {
    const $ = id => document.getElementById(id);
    $("sysex-bank").value = "E";
    $("sysex-channel").value = "3";
    $("syx-all").click();
    await until(() => downloads.length && /^The/.test($("all-status").textContent));
    return { said: $("all-status").textContent, name: downloads[0].fileName, zip: await base64Of(downloads[0]) };
  });
  assert.equal(all.said, "The .zip holds 3 .syx files, for bank E on channel 3; 4 patches that MIDI cannot " +
                         "carry were left out (open a bank to see which).");
  assert.equal(all.name, "K5000 banks (SysEx).zip");
  const { files } = await entries(all.zip);
  assert.deepEqual(Object.keys(files).sort(), ["Collection/Factory/names.syx", "Collection/Live 2003/NAMES.syx",
                                               "Collection/Live 2003/names~2.syx"]);
  for (const [name, dump] of [["Collection/Factory/names.syx", "names"], ["Collection/Live 2003/NAMES.syx", "accents"],
                              ["Collection/Live 2003/names~2.syx", "names"]]) {
    assert.ok(files[name].equals(bytesOf(`dumps/${dump}.syx`)), name);
  }
});

// A bank cut off by an unfinished copy still shows its refusal, and offers
// the patches that lie whole before the cut, in its own .zip alone.
test(`${engine}: a cut-off bank's whole patches can be saved`, async () => {
  await load("http");
  await give(["TRUNC.KAA", "DEMO.KAA"], "drop");
  const got = await shown([]);
  assert.deepEqual(got.refused, ['"TRUNC.KAA" is cut off: patch 14 ends past the end of the file.']);
  assert.deepEqual(got.rescued, ["13 whole patches can be saved."]);
  // The .zip of all banks leaves it out.
  assert.deepEqual(Object.keys((await entries(got.all)).files).filter(name => !name.startsWith("DEMO/")), []);
  const rescued = await browser.evaluate(async () => {
    const details = document.querySelector("#refused details");
    details.open = true;
    await until(() => details.querySelector("tbody"));
    details.querySelector(".actions button").click();
    await until(() => downloads.length);
    return { caption: details.querySelector("caption").textContent, rows: details.querySelectorAll("tbody tr").length,
             buttons: [...details.querySelectorAll("button")].map(b => b.textContent), zip: await base64Of(downloads[0]) };
  });
  assert.equal(rescued.caption, "The whole patches of TRUNC.KAA, a damaged bank, in memory order");
  assert.deepEqual({ rows: rescued.rows, buttons: rescued.buttons }, { rows: 13, buttons: ["Download TRUNC.zip"] });
  await sameEntries(rescued.zip, Array.from({ length: 13 }, (_, i) => `TRUNC.KAA ${i + 1} TRUNC/Whole${i + 1}.KA1`));
});

// The instrument over MIDI, through the stand-in for Web MIDI (its bytes
// taken 200 times as fast as MIDI's): each row gives banks, sets the
// stand-in up, connects, does one thing (`act`: a patch sent from an opened
// bank's row or from the search results, a bank sent, a tone or a bank
// backed up), and checks what was sent and what the page said.
const hex = bytes => Buffer.from(bytes).toString("hex");
const dumpOf = (bank, channel, tone, patch) =>
  Buffer.concat([Buffer.from([0xF0, 0x40, channel, 0x20, 0x00, 0x0A, 0x00, bank, tone]), patch, Buffer.from([0xF7])]);
const fullDumps = Array.from({ length: 128 }, (_, s) => hex(dumpOf(0, 0, s, builderBytes("full.KAA", s + 1))));
const edges = bytesOf("SysEx/edges.syx");
const sentAll = "All 128 patches written to bank A.";
const midiRows = [
  { what: "a patch sent to the bank, tone and channel asked for, and written", act: "patch",
    said: "Full005 went to bank D, tone 100: written.", sent: [hex(bytesOf("dumps/full.5.syx"))] },
  ...[[0x41, "the instrument reported a write error"],
      [0x42, "the instrument's memory is protected: turn protection off on the instrument"],
      [0x44, "the instrument's memory is full"], [0x45, "no expansion memory: banks E and F need it"],
      [null, "no answer: check the cable, the channel, and that the instrument receives SysEx"]]
    .map(([answer, words]) => ({ what: `a patch answered ${answer?.toString(16) ?? "with silence"}`, act: "patch",
                                 setUp: { answer }, said: `Full005 was not written to bank D, tone 100: ${words}.` })),
  { what: "a patch sent from the search results", act: "found", said: "Full005 went to bank D, tone 100: written.",
    sent: [hex(bytesOf("dumps/full.5.syx"))] },
  { what: "a bank sent patch by patch, each answered before the next", act: "bank", said: sentAll, sent: fullDumps },
  { what: "a bank sent until the instrument's memory is full", act: "bank", setUp: { answer: "full at 5" },
    said: "Stopped at tone 5 (Full005): the instrument's memory is full. 4 of 128 patches written to bank A before it.",
    sent: fullDumps.slice(0, 5) },
  { what: "a bank stopped by the user", act: "bank", setUp: { answer: "stop at 3" },
    said: "Stopped as you asked: 3 of 128 patches written to bank A.", sent: fullDumps.slice(0, 3) },
  { what: "a bank whose port goes away while it is sent", act: "bank", setUp: { answer: "gone at 2" },
    said: "The MIDI port K5000 Out went away: plug it in again, then connect again.", sent: fullDumps.slice(0, 2) },
  { what: "a bank backed up, its dump in pieces", act: "backup", setUp: { dump: [...edges] },
    sent: [hex([0xF0, 0x40, 0x00, 0x01, 0x00, 0x0A, 0x00, 0x00, 0x00, 0xF7])], backup: 6, files: edgesFiles },
  { what: "a bank's dump cut off: no backup, its whole patches offered", act: "backup",
    setUp: { dump: [...edges], cutAfter: 3000 }, rescued: "3 whole patches can be saved." },
  { what: "a tone backed up", act: "tone",
    setUp: { dump: [...dumpOf(0, 0, 2, builderBytes("singles.syx", 3))] }, backup: 1, files: { 3: "Pad.KA1" },
    sent: [hex([0xF0, 0x40, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x02, 0xF7])] },
  { what: "nothing comes back for a backup", act: "backup",
    said: "Nothing came from the instrument: no answer: check the cable, the channel, and that the instrument " +
          "receives SysEx." },
  { what: "a patch that fails a check is not sent", act: "unsent", give: "checks.KAA",
    said: "Not sent: its checksum does not match: the instrument would refuse it, or the patch is damaged.", sent: [] },
  { what: "MIDI not allowed", act: "connect", setUp: { allowed: false },
    said: "MIDI was not allowed (Permission to use Web MIDI API was not granted.): allow MIDI with SysEx for this " +
          "page in the browser, or save SysEx files instead and send them with a SysEx sender." },
];
const backupName = /^From the instrument: bank A, (tone 3, )?\d+ [A-Z][a-z]{2} \d{4} \d\d:\d\d$/;

for (const row of midiRows) {
  test(`${engine}: the instrument over MIDI: ${row.what}`, { skip: engine !== "chromium" && "no Web MIDI in this engine" }, async () => {
    await load("http", "?before=midi");
    await give([row.give ?? "full.KAA"], "pick");
    await shown([]);
    const got = await browser.evaluate(async (row) => {
      const $ = id => document.getElementById(id);
      const standIn = window.midiStandIn;
      standIn.rate = 3125 * 200;
      const setUp = row.setUp ?? {};
      Object.assign(standIn, { ...setUp, answer: 0x40 });
      if ("answer" in setUp && typeof setUp.answer !== "string") standIn.answer = setUp.answer;
      const [what, at] = typeof setUp.answer === "string" ? setUp.answer.split(" at ") : [];
      if (what) {
        standIn.answer = (bytes, number) => {
          if (number < Number(at)) return 0x40;
          if (what === "full") return 0x44;
          if (what === "stop") { $("midi-stop").click(); return 0x40; }
          standIn.remove();
          return null;
        };
      }
      $("midi-connect").click();
      await until(() => $("midi-status").textContent);
      if (row.act === "connect") return { said: $("midi-status").textContent, sent: [], inTurn: true };
      const statusOf = el => el.querySelector("p[role=status]") ?? el;
      let status;
      if (row.act === "unsent") {
        const details = $("banks").children[0].querySelector("details");
        details.open = true;
        await until(() => details.querySelector("tbody"));
        details.querySelector("tbody tr button").click();
        const unsent = { said: $("syx-patch-why").textContent, sent: [], inTurn: $("syx-patch-send").disabled };
        $("syx-patch").close();
        return unsent;
      }
      if (row.act === "patch" || row.act === "found") {
        let button;
        if (row.act === "patch") {
          const details = $("banks").children[0].querySelector("details");
          details.open = true;
          await until(() => details.querySelector("tbody"));
          button = details.querySelectorAll("tbody tr")[4].querySelector("button");
          status = details.querySelector("p[role=status]");
        } else {
          Object.assign($("find"), { value: "Full005" }).dispatchEvent(new Event("input"));
          await until(() => $("found").querySelector("tbody"));
          button = [...$("found").querySelectorAll("tbody button")].find(b => b.textContent === "Save as SysEx");
          status = $("found").firstChild;
        }
        button.click();
        const form = $("syx-patch").querySelector("form");
        Object.assign(form.elements.bank, { value: "D" });
        Object.assign(form.elements.tone, { value: "100" });
        Object.assign(form.elements.channel, { value: "16" });
        form.querySelector("button[value=send]").click();
      } else if (row.act === "bank") {
        const details = $("banks").children[0].querySelector("details");
        details.open = true;
        await until(() => details.querySelector("tbody"));
        [...details.querySelectorAll(".actions button")].find(b => /Send the bank/.test(b.textContent)).click();
        status = statusOf(details);
      } else {
        (row.act === "tone" ? Object.assign($("midi-tone"), { value: "3" }) && $("midi-backup-tone") : $("midi-backup-bank")).click();
        status = $("midi-status");
      }
      const before = status.textContent;
      await until(() => status.textContent && status.textContent !== before && !/^Connected/.test(status.textContent), 1500);
      // Each dump was sent only once the one before was answered.
      const inTurn = standIn.sent.every((s, i) => i === 0 || s.at >= standIn.answered[i - 1]);
      const banks = [...$("banks").children].map(li => li.querySelector("summary .line").textContent);
      const backedUp = [...$("banks").children].find(li => /^"From the instrument/.test(li.textContent));
      let zip = null;
      if (backedUp) {
        const details = backedUp.querySelector("details");
        details.open = true;
        await until(() => details.querySelector(".actions button"));
        details.querySelector(".actions button").click();
        await until(() => downloads.length);
        zip = await base64Of(downloads.pop());
      }
      return { said: status.textContent, sent: standIn.sent.map(s => s.bytes), inTurn, banks, zip,
               refused: [...$("refused").children].map(li => li.querySelector(".line").textContent),
               rescued: $("refused").querySelector("summary")?.textContent ?? "" };
    }, row);
    if (row.said) assert.equal(got.said, row.said);
    if (row.sent) assert.deepEqual(got.sent.map(hex), row.sent);
    assert.ok(got.inTurn, "a dump went before the one before it was answered");
    if (row.backup) {
      const name = got.banks.find(b => b.startsWith('"From the instrument'))?.match(/^"([^"]*)"/)?.[1] ?? "";
      assert.match(name, backupName);
      assert.equal(got.said, `Received "${name}": ${row.backup} ${row.backup === 1 ? "patch" : "patches"}.`);
      const folder = name.replaceAll(":", "_") + "_";
      await sameEntries(got.zip, inZip(row.files === edgesFiles ? "edges.syx" : "singles.syx", row.files, folder));
    }
    if (row.rescued) {
      assert.match(got.refused[0] ?? "", /^"From the instrument: bank A, .*" is cut off: message 1 has no end\.$/);
      assert.equal(got.rescued, row.rescued);
      assert.match(got.said, /^The instrument's dump stopped before its end: no backup\./);
    }
  });
}

// Chromium's own Web MIDI, to a port of the system's MIDI (ALSA's
// sequencer) that aseqdump listens on: what arrives there is the dump.
// Skipped where the system has no sequencer, as in most containers.
test(`${engine}: a patch through the system's own MIDI`, { skip: engine !== "chromium" && "Web MIDI is Chromium's" }, async t => {
  if (!fs.existsSync("/dev/snd/seq")) return t.skip("no ALSA sequencer (/dev/snd/seq) here");
  if (spawnSync("sh", ["-c", "command -v aseqdump"]).status !== 0) return t.skip("needs aseqdump (alsa-utils)");
  const listener = spawn("aseqdump", [], { stdio: ["ignore", "pipe", "ignore"] });
  let heard = "";
  listener.stdout.on("data", chunk => { heard += chunk; });
  try {
    await new Promise(r => setTimeout(r, 500));
    await browser.allowMidi(origins.http().replace(/\/vortrim\.html$/, ""));
    await load("http");
    await give(["full.KAA"], "pick");
    await shown([]);
    await browser.evaluate(async () => {
      const $ = id => document.getElementById(id);
      $("midi-connect").click();
      await until(() => $("midi-status").textContent);
      const out = $("midi-out");
      out.value = [...out.options].find(o => /aseqdump/i.test(o.textContent))?.value ?? out.value;
      out.dispatchEvent(new Event("change"));
      const details = $("banks").children[0].querySelector("details");
      details.open = true;
      await until(() => details.querySelector("tbody"));
      details.querySelectorAll("tbody tr")[4].querySelector("button").click();
      const form = $("syx-patch").querySelector("form");
      Object.assign(form.elements.bank, { value: "D" });
      Object.assign(form.elements.tone, { value: "100" });
      Object.assign(form.elements.channel, { value: "16" });
      form.querySelector("button[value=send]").click();
    });
    await new Promise(r => setTimeout(r, 2000));
  } finally {
    listener.kill();
  }
  // aseqdump shows a SysEx message as its bytes in hexadecimal.
  const bytes = (heard.match(/System exclusive\s+([0-9A-F ]+)/i)?.[1] ?? "").replace(/\s/g, "").toLowerCase();
  assert.equal(bytes, hex(bytesOf("dumps/full.5.syx")));
});

// Where there is no Web MIDI (Firefox and WebKit), or no one to allow it
// (Chromium, driven), the page says so in one sentence, opened as a file.
test(`${engine}: the instrument over MIDI where there is none`, async () => {
  await load("file");
  const said = await browser.evaluate(async () => {
    document.getElementById("midi-connect").click();
    await until(() => document.getElementById("midi-status").textContent);
    return document.getElementById("midi-status").textContent;
  });
  assert.equal(said, engine === "chromium"
    ? "MIDI was not allowed (Permission to use Web MIDI API was not granted.): allow MIDI with SysEx for this page " +
      "in the browser, or save SysEx files instead and send them with a SysEx sender."
    : "This browser has no Web MIDI (Chromium and Edge have it): save SysEx files instead, and send them with a " +
      "SysEx sender.");
});

// What goes wrong is said where it happened: a core that does not start,
// a .zip that cannot be made.
test(`${engine}: every failure is said in the status`, async () => {
  await load("http", "?before=no-core");
  const start = await browser.evaluate(async () => {
    await until(() => document.getElementById("status").textContent);
    return { said: document.getElementById("status").textContent,
             disabled: document.getElementById("files").disabled };
  });
  assert.deepEqual(start, { said: "This browser could not start vortrim's reader (refused here): " +
                                  "try a newer browser, or the program itself.", disabled: true });
  await load("http");
  await give(["DEMO.KAA"], "drop");
  await shown([]);
  const zip = await browser.evaluate(async () => {
    const Plain = Blob;
    window.Blob = class extends Plain {
      constructor(parts, options) {
        if (options?.type === "application/zip") throw new Error("no room left");
        super(parts, options);
      }
    };
    document.getElementById("all-status").textContent = "";
    document.getElementById("zip-all").click();
    await until(() => /^Could/.test(document.getElementById("all-status").textContent));
    return document.getElementById("all-status").textContent;
  });
  assert.equal(zip, "Could not make the .zip: no room left");
});

// Banks added while one is open, and found patches listed, leave the focus
// where it was, and what has it where it stood on the screen.
test(`${engine}: adding banks keeps the focus and the scroll`, async () => {
  await load("http");
  await give(["Collection"], "drop-folder");
  await shown([0]);
  const before = await browser.evaluate(async () => {
    const find = document.getElementById("find");
    find.value = "bass";
    find.dispatchEvent(new Event("input"));
    await until(() => document.querySelector("#found button"));
    const button = document.querySelector("#banks details[open] .actions button");
    button.focus();
    button.scrollIntoView({ block: "center" });
    window.focusedBefore = button;
    return { top: button.getBoundingClientRect().top, found: document.querySelectorAll("#found tbody tr").length };
  });
  // Archive/ comes before Collection/: its row goes above the open bank.
  await give(["Archive"], "drop-folder");
  const after = await browser.evaluate(async () => {
    await until(() => /^Added/.test(document.getElementById("status").textContent));
    await until(() => document.querySelectorAll("#found tbody tr").length === 3);
    const focused = document.activeElement;
    return { same: focused === window.focusedBefore, top: focused.getBoundingClientRect().top,
             open: focused.closest("details")?.open, found: document.querySelectorAll("#found tbody tr").length,
             first: document.querySelector("#banks summary .line").textContent };
  });
  // Within a pixel: the rows' heights are fractions of one.
  assert.ok(Math.abs(after.top - before.top) <= 1, `moved from ${before.top} to ${after.top}`);
  assert.deepEqual({ ...after, top: 0 }, { same: true, top: 0, open: true, found: before.found + 1,
                                           first: summary("Archive/mix.KAA", 2, 129758, "99.00") });
});

// On a phone's width (390 CSS pixels) no table is wider than the page.
// WebKit's window goes no narrower than about 450: there the row is
// skipped, once the page has been checked at the width it has.
test(`${engine}: nothing is cut off at 390 pixels`, async t => {
  await browser.resize(390, 844);
  try {
    await load("http");
    await give(["Collection"], "drop-folder");
    await shown([0]);
    const wide = await browser.evaluate(async () => {
      const find = document.getElementById("find");
      find.value = "i";
      find.dispatchEvent(new Event("input"));
      await until(() => document.querySelector("#found tbody"));
      const width = document.documentElement.clientWidth;
      const cut = [...document.querySelectorAll(".scroll, main")].filter(e => e.scrollWidth > e.clientWidth + 1)
        .map(e => `${e.getAttribute("aria-label") ?? e.tagName}: ${e.scrollWidth} > ${e.clientWidth}`);
      const past = [...document.querySelectorAll("td, th, button")]
        .filter(e => e.getBoundingClientRect().right > width + 1).map(e => e.textContent.slice(0, 30));
      return { width, cut, past };
    });
    assert.deepEqual({ cut: wide.cut, past: wide.past }, { cut: [], past: [] });
    if (wide.width > 400) t.skip(`the window is no narrower than ${wide.width} pixels`);
  } finally {
    await browser.resize(1280, 900);
  }
});

test(`${engine}: no violations found by axe-core`, async () => {
  await load("http");
  await give(["DEMO.KAA", "short.KAA"], "drop");
  await shown([0]);
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
// picked, over http (file:// has none). A save works from the bytes it
// started with: in the second row the folder makes each write wait while
// the page is cleared and a new bank read, whose patches take the place of
// the ones being saved.
for (const row of [{ what: "writes the .zip's tree" },
                   { what: "is not changed by Clear and a bank added meanwhile", meanwhile: true }]) {
  test(`${engine}: "Save all into a folder" ${row.what}`, { skip: engine !== "chromium" && "no folder picker in this engine" }, async () => {
    await load("http");
    await give(["Collection"], "drop-folder");
    await shown([]);
    await browser.evaluate(async meanwhile => {
      const root = await navigator.storage.getDirectory();
      for await (const name of root.keys()) await root.removeEntry(name, { recursive: true });
      let open;
      const writesMayGo = meanwhile ? new Promise(resolve => { open = resolve; }) : null;
      window.letWritesGo = () => open?.();
      window.writesWaiting = 0;
      const waiting = dir => ({
        name: dir.name,
        getDirectoryHandle: async (name, o) => waiting(await dir.getDirectoryHandle(name, o)),
        getFileHandle: async (name, o) => {
          const file = await dir.getFileHandle(name, o);
          return { createWritable: async () => {
            const out = await file.createWritable();
            return { write: async bytes => { writesWaiting++; await writesMayGo; return out.write(bytes); },
                     close: () => out.close() };
          } };
        },
      });
      window.showDirectoryPicker = async () => waiting(root);
      document.getElementById("save-all").click();
      if (!meanwhile) return;
      await until(() => writesWaiting > 0);
      document.getElementById("clear").click();
      await until(() => document.getElementById("status").textContent === "Cleared.");
    }, !!row.meanwhile);
    if (row.meanwhile) {
      await give(["full.KAA"], "pick");
      await shown([]);
    }
    const saved = await browser.evaluate(async () => {
      letWritesGo();
      await until(() => /^(Saved|Could)/.test(document.getElementById("all-status").textContent));
      const out = {};
      const walk = async (dir, prefix) => {
        for await (const [name, handle] of dir.entries()) {
          if (handle.kind === "directory") await walk(handle, prefix + name + "/");
          else out[prefix + name] = await base64Of(await handle.getFile());
        }
      };
      await walk(await navigator.storage.getDirectory(), "");
      return { status: document.getElementById("all-status").textContent, out };
    });
    assert.match(saved.status, /^Saved 22 files into /);
    sameFiles(Object.fromEntries(Object.entries(saved.out).map(([name, b]) => [name, Buffer.from(b, "base64")])),
              collection.all);
  });
}

test(`${engine}: the page is one file of at most 100 KB that may ask for nothing`, () => {
  const page = fs.readFileSync(pageFile, "utf8");
  assert.ok(page.length <= 100 * 1024, `${page.length} bytes`);
  assert.match(page, /<meta http-equiv="Content-Security-Policy" content="default-src 'none';[^"]* connect-src 'none';/);
});

test(`${engine}: no request besides the page itself`, () => {
  assert.ok(requests.length > 0);
  assert.deepEqual([...new Set(requests)], ["/vortrim.html"]);
});
