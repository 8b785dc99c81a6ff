// SysEx files for the instrument: where a dump goes (the bank and channel
// chosen once for the page's session, and for one patch its tone), and the
// three saves: a patch, a bank, every bank in a .zip.
import { started } from "./core.js";
import { sendPatch } from "./midi.js";
import { download, take } from "./save.js";
import { makeZip } from "./zip.js";

const $ = id => document.getElementById(id);

// The bank and channel chosen for the session.
export const chosen = () => ({ bank: $("sysex-bank").value, tone: 1, channel: Number($("sysex-channel").value) });

const syxBlob = bytes => new Blob([bytes], { type: "application/octet-stream" });

// Asks where patch `patch` (of bank `id`, as core.bank gives it) goes, the
// tone its own slot to begin with, and saves its one-single dump as its
// .syx file, or sends it to the instrument, saying in `status` what came of
// it; one that fails a check is not sent. The bank and channel chosen are
// kept for the next.
export function savePatch(id, index, patch, status) {
  const dialog = $("syx-patch");
  const form = dialog.querySelector("form");
  $("syx-patch-what").textContent = `${patch.label}, slot ${patch.slot}: ${patch.syx}`;
  $("syx-patch-send").disabled = !!patch.checks;
  Object.assign($("syx-patch-why"), { textContent: patch.checks ? `Not sent: ${patch.checks}.` : "",
                                      hidden: !patch.checks });
  form.elements.bank.value = $("sysex-bank").value;
  form.elements.channel.value = $("sysex-channel").value;
  form.elements.tone.value = patch.slot;
  dialog.onclose = async () => {
    if (dialog.returnValue !== "save" && dialog.returnValue !== "send") return;
    $("sysex-bank").value = form.elements.bank.value;
    $("sysex-channel").value = form.elements.channel.value;
    const target = { bank: form.elements.bank.value, tone: Number(form.elements.tone.value),
                     channel: Number(form.elements.channel.value) };
    if (dialog.returnValue === "send") return sendPatch(id, index, patch, target, status);
    const hold = (await started).hold();
    try {
      download(patch.syx, syxBlob(hold.patchDump(id, index, target)));
    } finally {
      hold.release();
    }
  };
  dialog.returnValue = "";
  dialog.showModal();
}

// Saves bank `id` as one block dump, `name`, saying in `status` what it
// holds and what it left out.
export async function saveBank(id, name, status) {
  const hold = (await started).hold();
  try {
    const dump = hold.bankDump(id, chosen());
    download(name, syxBlob(dump.bytes));
    status.textContent = dump.said;
  } finally {
    hold.release();
  }
}

// Every bank's block dump in a .zip, each in its folder as the .KA1 files'
// .zip has them ("Factory/DEMO.syx").
export async function zipAll(status) {
  const { core, plan, hold, dates } = await take();
  const target = chosen();
  let leftOut = 0;
  try {
    download("K5000 banks (SysEx).zip", await makeZip(plan.banks.map((bank, i) => ({
      name: bank.folder + ".syx", date: dates[i],
      read: () => {
        const dump = hold.bankDump(bank.id, target);
        leftOut += dump.leftOut;
        return dump;
      } }))));
    status.textContent = core.say("zipped-sysex", plan.banks.length, leftOut, target.bank, target.channel);
  } catch (e) {
    status.textContent = core.say("zip-failed", e.message);
  } finally {
    hold.release();
  }
}
