// The instrument over MIDI, where the browser offers Web MIDI with SysEx
// (Chromium, Edge): connecting, only when asked; sending a patch, or a bank
// patch by patch, each dump answered before the next; backing up a tone or
// a bank. The core makes every message and reads every answer; this module
// moves the bytes, keeps time and draws. Nothing is sent but on a click, and
// only to the port chosen.
import { started } from "./core.js";
import { collection } from "./collection.js";
import { chosen } from "./sysex.js";

const $ = id => document.getElementById(id);

// MIDI carries 3125 bytes a second; the instrument answers a dump at once.
const BYTES_PER_SECOND = 3125;
// How long to wait: for an answer after a dump's last byte, for the first
// byte of a dump asked for, and for its next piece.
const ANSWER_WAIT = 4000, FIRST_WAIT = 5000, PIECE_WAIT = 3000;

const midi = {
  access: null,
  output: null,
  input: null,
  busy: false,     // a send or a backup is under way
  stopped: false,  // the user asked it to stop
  gone: null,      // the name of a chosen port that went away
  heard: null,     // wakes what waits for the instrument
  pieces: 0,       // messages and pieces of them taken from it
};

let redraw = async () => {};
const say = async (...args) => (await started).say(...args);

// Waits until `holds()` is true, checked whenever the instrument sends
// something and every 100 ms, or `ms` have passed, or a port went away.
function until(holds, ms) {
  return new Promise(resolve => {
    const t0 = performance.now();
    const check = () => {
      const done = holds() || midi.gone || performance.now() - t0 > ms;
      if (!done) return;
      clearInterval(timer);
      midi.heard = null;
      resolve(holds());
    };
    const timer = setInterval(check, 100);
    midi.heard = check;
  });
}

function take(event) {
  // A clock or sensing byte between messages is none of a dump's.
  if (!event.data.length || event.data[0] >= 0xF8) return;
  started.then(core => {
    core.midiTake(event.data);
    midi.pieces++;
    midi.heard?.();
  });
}

function fill(select, ports, chosenId) {
  select.replaceChildren(...ports.map(p => Object.assign(document.createElement("option"),
    { value: p.id, textContent: p.name || p.id, selected: p.id === chosenId })));
}

function choose() {
  midi.output = midi.access.outputs.get($("midi-out").value) ?? null;
  if (midi.input) midi.input.onmidimessage = null;
  midi.input = midi.access.inputs.get($("midi-in").value) ?? null;
  if (midi.input) midi.input.onmidimessage = take;
  midi.gone = null;
}

async function showPorts() {
  const outputs = [...midi.access.outputs.values()], inputs = [...midi.access.inputs.values()];
  fill($("midi-out"), outputs, midi.output?.id);
  fill($("midi-in"), inputs, midi.input?.id);
  $("midi-ports").hidden = false;
  choose();
  $("midi-status").textContent = !midi.output || !midi.input ? await say("midi", "no-ports")
    : await say("midi", "connected", `${midi.output.name} and ${midi.input.name}`);
}

// Asks the browser for MIDI with SysEx, which it may ask the user about.
export async function connect() {
  if (typeof navigator.requestMIDIAccess !== "function") {
    $("midi-status").textContent = await say("midi", "none");
    return;
  }
  try {
    midi.access = await navigator.requestMIDIAccess({ sysex: true });
  } catch (e) {
    // Refused by the user or the browser, or no MIDI on this system.
    const refused = e.name === "SecurityError" || e.name === "NotAllowedError";
    $("midi-status").textContent = await say("midi", refused ? "refused" : "failed", e.message);
    return;
  }
  midi.access.onstatechange = async e => {
    const ours = e.port === midi.output || e.port === midi.input ||
                 e.port.id === midi.output?.id || e.port.id === midi.input?.id;
    if (ours && e.port.state === "disconnected") {
      midi.gone = e.port.name || e.port.id;
      midi.heard?.();
      $("midi-status").textContent = await say("midi", "gone", midi.gone);
    } else if (!midi.busy) {
      await showPorts();
    }
  };
  await showPorts();
}

// Whether a send or a backup may start now; says why not in `status`.
async function ready(status) {
  if (!midi.output || !midi.input || midi.gone) {
    status.textContent = await say("midi", "not-connected");
    return false;
  }
  if (midi.busy) {
    status.textContent = await say("midi", "busy");
    return false;
  }
  return true;
}

// Sends one dump and waits for the instrument's answer to it (0: none).
async function sendDump(core, bytes, channel) {
  core.midiClear();
  midi.output.send(bytes);
  await until(() => core.midiAnswer(channel) !== 0, bytes.length / BYTES_PER_SECOND * 1000 + ANSWER_WAIT);
  return core.midiAnswer(channel);
}

// Sends patch `index` of bank `id` (as core.bank gives it) to `target`,
// and says in `status` what came of it. One that fails a check is not sent.
export async function sendPatch(id, index, patch, target, status) {
  if (!await ready(status)) return;
  const core = await started;
  midi.busy = true;
  const hold = core.hold();
  try {
    const answer = await sendDump(core, hold.patchDump(id, index, target), target.channel);
    status.textContent = midi.gone ? await say("midi", "gone", midi.gone)
      : core.say("patch-sent", patch.label, target.bank, target.tone, answer);
  } finally {
    hold.release();
    midi.busy = false;
  }
}

// Sends bank `id` patch by patch, each to its own slot in the bank chosen,
// with a progress bar and a Stop button, and says in `status` what was
// written, and where it stopped and why.
export async function sendBank(id, status) {
  if (!await ready(status)) return;
  const core = await started;
  const target = chosen();
  midi.busy = true;
  midi.stopped = false;
  const hold = core.hold();
  const { patches, skipped } = hold.sendPlan(id);
  const all = patches.reduce((n, p) => n + p.size, 0);
  $("midi-progress").hidden = false;
  const bar = $("midi-bar");
  Object.assign(bar, { max: all, value: 0 });
  let written = 0, bytes = 0, answer = 1, stoppedAt = 0, stoppedName = "";
  try {
    for (const p of patches) {
      $("midi-sending").textContent = core.say("sending", written, patches.length, bytes, all);
      if (midi.stopped || midi.gone) break;
      answer = await sendDump(core, hold.patchDump(id, p.index, { ...target, tone: p.slot }), target.channel);
      if (answer !== 1) {
        [stoppedAt, stoppedName] = [p.slot, p.label];
        break;
      }
      written++;
      bar.value = bytes += p.size;
    }
    status.textContent = midi.gone ? await say("midi", "gone", midi.gone)
      : core.say("bank-sent", written, patches.length, target.bank, answer, stoppedAt, stoppedName,
                 midi.stopped && written < patches.length ? 1 : 0, ...skipped);
    $("midi-sending").textContent = status.textContent;
  } finally {
    hold.release();
    midi.busy = false;
    $("midi-progress").hidden = true;
  }
}

// Asks the instrument for a dump of one tone (`tone` from 1) or of the
// bank chosen (no tone), and adds what comes as a bank; a dump that stops
// before its end is said so, its whole patches offered as a damaged bank's.
export async function backUp(tone) {
  const status = $("midi-status");
  if (!await ready(status)) return;
  const core = await started;
  const target = { ...chosen(), tone: tone ?? 1 };
  midi.busy = true;
  try {
    core.midiClear();
    midi.output.send(tone ? core.patchRequest(target) : core.bankRequest(target));
    // A bank's dump takes most of a minute, in many pieces: each must come
    // within its wait of the one before, or the dump is cut off.
    if (await until(() => core.midiIncoming().any, FIRST_WAIT)) {
      while (!core.midiIncoming().whole && !midi.gone) {
        const seen = midi.pieces;
        await until(() => core.midiIncoming().whole || midi.pieces !== seen, PIECE_WAIT);
        if (midi.pieces === seen) break;
      }
    }
    const incoming = core.midiIncoming();
    if (!incoming.any) {
      status.textContent = midi.gone ? await say("midi", "gone", midi.gone) : core.say("backup", "", 0, 0, 1);
      return;
    }
    const now = new Date();
    const name = core.say("backup-name", target.bank, tone ?? 0, now.getFullYear(), now.getMonth() + 1,
                          now.getDate(), now.getHours(), now.getMinutes());
    const id = core.addReceived(name);
    collection.dates.set(id, now.getTime());
    await redraw();
    status.textContent = core.say("backup", name, core.loaded(id) ? core.bank(id).patches.length : 0,
                                  core.loaded(id) ? 0 : 1, 0);
  } finally {
    midi.busy = false;
  }
}

// Stops a bank being sent, once the patch on its way is answered.
export const stop = () => { midi.stopped = true; };

// `redrawn` draws the collection again once a backup is added to it.
export function setUpMidi(redrawn) {
  redraw = redrawn;
  $("midi-connect").addEventListener("click", connect);
  $("midi-out").addEventListener("change", choose);
  $("midi-in").addEventListener("change", choose);
  $("midi-stop").addEventListener("click", stop);
  $("midi-backup-bank").addEventListener("click", () => backUp());
  $("midi-backup-tone").addEventListener("click", () => backUp(Number($("midi-tone").value)));
}
