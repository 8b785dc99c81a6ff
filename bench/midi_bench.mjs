// The page and the instrument over MIDI, in Chromium, through the stand-in
// for Web MIDI (tests/midi_stand_in.js) at MIDI's own speed: 3125 bytes a
// second, each dump answered 20 ms after its last byte. Two figures, each
// beside its floor:
//   - a full bank sent: from the click to the last answer; floor: its bytes
//     at MIDI's speed and 20 ms an answer, what the cable itself takes;
//   - a bank backed up: from its dump's last piece to the bank shown.
// VORTRIM_BANK names the bank (a .KAA file), VORTRIM_DUMP its block dump.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { needEngine, openBrowser, servePage } from "../tests/page_driver.mjs";

const engine = process.env.VORTRIM_ENGINE;
if (engine !== "chromium") {
  console.log(`skipped: Web MIDI is Chromium's, not ${engine}'s`);
  process.exit(77);
}
needEngine(engine);
const bank = process.env.VORTRIM_BANK;
const dump = [...fs.readFileSync(process.env.VORTRIM_DUMP)];
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "vortrim-midi-bench-"));
const standIn = fs.readFileSync(new URL("../tests/midi_stand_in.js", import.meta.url), "utf8");
const server = await servePage(process.env.VORTRIM_PAGE, [], { midi: standIn });
const browser = await openBrowser(engine, scratch);
try {
  await browser.goto(`http://127.0.0.1:${server.address().port}/vortrim.html?before=midi`);
  await browser.pick([bank]);
  const sent = await browser.evaluate(async () => {
    const $ = id => document.getElementById(id);
    const wait = async holds => { while (!holds()) await new Promise(r => setTimeout(r, 5)); };
    await wait(() => /^Added/.test($("status").textContent));
    $("midi-connect").click();
    await wait(() => /^Connected/.test($("midi-status").textContent));
    const details = document.querySelector("#banks details");
    details.open = true;
    await wait(() => details.querySelector("tbody"));
    const status = details.querySelector("p[role=status]");
    const t0 = performance.now();
    [...details.querySelectorAll(".actions button")].find(b => /Send the bank/.test(b.textContent)).click();
    await wait(() => /^(All|Stopped)/.test(status.textContent));
    const bytes = midiStandIn.sent.reduce((n, s) => n + s.bytes.length, 0);
    return { time: performance.now() - t0, said: status.textContent, bytes, dumps: midiStandIn.sent.length };
  });
  const floor = sent.bytes / 3125 * 1000 + sent.dumps * 20;
  console.log(`bench midi: a full bank sent in ${(sent.time / 1000).toFixed(1)} s; floor ${(floor / 1000).toFixed(1)} s ` +
              `(${sent.dumps} dumps, ${sent.bytes} bytes; ratio ${(sent.time / floor).toFixed(3)}, at most 1.1); ${sent.said}`);
  const backup = await browser.evaluate(async dump => {
    const $ = id => document.getElementById(id);
    const wait = async holds => { while (!holds()) await new Promise(r => setTimeout(r, 5)); };
    // At MIDI's speed: a piece of 256 bytes each 82 ms.
    Object.assign(midiStandIn, { dump, piece: 256, pause: 256 / 3125 * 1000 });
    const before = $("banks").children.length;
    $("midi-backup-bank").click();
    await wait(() => $("banks").children.length > before);
    void document.body.offsetHeight;  // drawn
    return { after: performance.now() - midiStandIn.lastPiece, said: $("midi-status").textContent };
  }, dump);
  console.log(`bench midi: a bank's dump (${dump.length} bytes) shown ${backup.after.toFixed(0)} ms after its last ` +
              `piece (at most 1000); ${backup.said}`);
} finally {
  await browser.close();
  server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
}
