// A stand-in for Web MIDI, put in place before the page loads: one output
// and one input leading to an instrument that takes bytes at `rate` a
// second and answers as the K5000 synthesizer does, 20 ms after a dump's
// last byte. Set up through window.midiStandIn:
//   answer   the answer to a dump (0x40 written, 0x41 ... 0x45), or a
//            function (message, its number from 1) giving one; null: none
//   dump     the bytes a request for a dump is answered with, in pieces of
//            `piece` bytes, `pause` ms apart, `cutAfter` of them at most
//   allowed  whether MIDI with SysEx is granted
// and read back: `sent` (each message, its bytes and when it was sent),
// `answered` (when each answer went) and `lastPiece` (when a dump's last
// piece went). remove() takes the output away.
(() => {
  const standIn = window.midiStandIn = {
    rate: 3125, answer: 0x40, dump: null, piece: 256, pause: 10, cutAfter: Infinity,
    allowed: true, sent: [], answered: [],
  };
  const input = { id: "in-1", name: "K5000 In", type: "input", state: "connected", onmidimessage: null };
  const deliver = bytes => input.onmidimessage?.({ data: Uint8Array.from(bytes) });
  // The instrument takes one message after another.
  let free = 0;
  const output = {
    id: "out-1", name: "K5000 Out", type: "output", state: "connected",
    send(data) {
      if (output.state !== "connected") throw new DOMException("the port is gone", "InvalidStateError");
      const bytes = Array.from(data);
      standIn.sent.push({ bytes, at: performance.now() });
      const number = standIn.sent.length;
      free = Math.max(free, performance.now()) + bytes.length / standIn.rate * 1000;
      setTimeout(() => respond(bytes, number), free - performance.now() + 20);
    },
  };
  function respond(bytes, number) {
    if (output.state !== "connected") return;
    if (bytes[3] === 0x20 || bytes[3] === 0x21) {
      const code = typeof standIn.answer === "function" ? standIn.answer(bytes, number) : standIn.answer;
      if (code === null || code === undefined) return;
      standIn.answered.push(performance.now());
      deliver([0xF0, 0x40, bytes[2], code, 0x00, 0x0A, 0xF7]);
    } else if ((bytes[3] === 0x00 || bytes[3] === 0x01) && standIn.dump) {
      const dump = standIn.dump.slice(0, standIn.cutAfter);
      for (let at = 0, k = 0; at < dump.length; at += standIn.piece, ++k) {
        setTimeout(() => {
          deliver(dump.slice(at, at + standIn.piece));
          standIn.lastPiece = performance.now();
        }, k * standIn.pause);
      }
    }
  }
  const access = { inputs: new Map([[input.id, input]]), outputs: new Map([[output.id, output]]),
                   sysexEnabled: true, onstatechange: null };
  standIn.remove = () => {
    output.state = "disconnected";
    access.outputs.delete(output.id);
    access.onstatechange?.({ port: output });
  };
  navigator.requestMIDIAccess = async options => {
    if (!standIn.allowed || !options?.sysex) {
      throw new DOMException("Permission to use Web MIDI API was not granted.", "SecurityError");
    }
    return access;
  };
})();
