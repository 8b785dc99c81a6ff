// The page's script: what each control does. The core (core.js) decides;
// the modules move bytes and draw.
import { started } from "./core.js";
import { collection } from "./collection.js";
import { $, clearDrawn, drawCollection, keepInView } from "./draw.js";
import { onDrop, picked, pickedFolder } from "./drop.js";
import { find } from "./find.js";
import { downloadZip, saveInto } from "./save.js";
import { setUpMidi } from "./midi.js";
import { zipAll as zipAllSysEx } from "./sysex.js";

// The one message that cannot be the core's: the core did not start.
started.catch(e => {
  $("status").textContent = `This browser could not start vortrim's reader (${e.message}): ` +
    "try a newer browser, or the program itself.";
  for (const control of document.querySelectorAll("input, button")) control.disabled = true;
});

// The collection drawn again, what has focus kept where it is.
const redraw = () => keepInView(async () => {
  await drawCollection();
  await find();
});

async function add(files) {
  if (!files.length) return;
  const core = await started;
  const said = text => { $("status").textContent = text; };
  const done = await collection.add(files, said);
  await redraw();
  said(core.say("added", done.added.length + done.refused.length, done.refused.length, done.skipped,
                done.repeated, done.first));
}

$("files").addEventListener("change", e => {
  add(picked(e.target));
  e.target.value = "";
});
$("folder").addEventListener("change", e => {
  add(pickedFolder(e.target));
  e.target.value = "";
});
onDrop($("drop"), add);
setUpMidi(redraw);
$("find").addEventListener("input", find);
$("failing").addEventListener("change", find);
$("syx-all").addEventListener("click", () => zipAllSysEx($("all-status")));
$("zip-all").addEventListener("click", async () => {
  $("all-status").textContent = (await started).say("zipping");
  downloadZip(undefined, "K5000 banks.zip", $("all-status"),
              (core, plan) => core.say("zipped", plan.banks.length));
});
if (typeof window.showDirectoryPicker === "function") {
  $("save-all").hidden = false;
  $("save-all").addEventListener("click", () => saveInto(undefined, $("all-status")));
}
$("clear").addEventListener("click", async () => {
  await collection.clear();
  clearDrawn();
  $("find").value = "";
  $("status").textContent = (await started).say("cleared");
  $("all-status").textContent = "";
  await drawCollection();
  await find();
});

// For the page's tests, and anyone who drives it from the console.
export { started } from "./core.js";
export { collection } from "./collection.js";
export { makeZip, planEntries } from "./zip.js";
