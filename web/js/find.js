// Find: every patch whose name holds what is typed, in the whole
// collection (or of those that fail a check), with its bank and slot and a
// button that saves it. The core finds; this draws.
import { started } from "./core.js";
import { $, element, table } from "./draw.js";
import { downloadPatch } from "./save.js";
import { savePatch } from "./sysex.js";

const SHOWN = 100;

const COLUMNS = [
  { heading: "Bank", className: "path", cell: r => r.path },
  { heading: "Number", numeric: true, cell: r => String(r.slot) },
  { heading: "Name", heads: true, cell: r => r.name },
  { heading: "File", className: "file", cell: r => {
      const save = element("button", { type: "button" }, "Save");
      save.setAttribute("aria-label", `Save ${r.file} of ${r.path}`);
      save.dataset.key = `${r.path}\n${r.slot}`;
      save.addEventListener("click", () => downloadPatch(r));
      const sysex = element("button", { type: "button", hidden: !r.dumpable }, "Save as SysEx");
      sysex.setAttribute("aria-label", `Save ${r.file} of ${r.path} as SysEx, or send it`);
      sysex.addEventListener("click", () => savePatch(r.bank, r.patch, r, $("found").firstChild));
      const checks = element("span", { className: "why bad", hidden: !r.checks }, r.checks);
      return [r.file, " ", save, " ", sysex, checks];
    } },
];

export async function find() {
  const core = await started;
  const typed = $("find").value, failing = $("failing").checked;
  if (!typed.trim() && !failing) return $("found").replaceChildren();
  // A Save button that has focus keeps it when the results are drawn again.
  const focused = document.activeElement?.closest("#found") ? document.activeElement.dataset.key : null;
  const found = core.find(typed, SHOWN, failing);
  $("found").replaceChildren(element("p", {}, found.said),
                             ...(found.rows.length ? [table("Patches found", COLUMNS, found.rows)] : []));
  if (focused) [...$("found").querySelectorAll("button")].find(b => b.dataset.key === focused)?.focus();
}
