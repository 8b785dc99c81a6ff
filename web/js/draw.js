// Drawing: the page's elements, made from what the core gives. Rows once
// drawn stay where they are as banks are added, and what changes in them is
// changed in place, so that focus and scroll stay where the user left them.
import { started } from "./core.js";
import { collection } from "./collection.js";
import { downloadZip, saveInto } from "./save.js";
import { sendBank } from "./midi.js";
import { saveBank, savePatch } from "./sysex.js";

export const $ = id => document.getElementById(id);

export function element(tag, props = {}, ...children) {
  const e = Object.assign(document.createElement(tag), props);
  e.append(...children);
  return e;
}

// A note under a row or in a cell, which may change: "" hides it.
function note(text, className = "why") {
  return element("span", { className, hidden: !text }, text);
}

// A table of `items`, by `columns`: heading, the cell's content, whether it
// is a number, and the cell that heads its row (the name).
export function table(caption, columns, items) {
  const head = element("tr", {}, ...columns.map(c =>
    element("th", { scope: "col", className: c.className ?? (c.numeric ? "number" : "") }, c.heading)));
  const body = element("tbody", {}, ...items.map(item => element("tr", {}, ...columns.map(c => {
    const className = c.className ?? (c.numeric ? "number" : "");
    const cell = c.heads ? element("th", { scope: "row", className }) : element("td", { className });
    cell.append(...[c.cell(item)].flat());
    return cell;
  }))));
  const t = element("table", {}, element("caption", { className: "note" }, caption),
                    element("thead", {}, head), body);
  // A table wider than a phone scrolls; the keyboard must reach it too.
  const scroll = element("div", { className: "scroll", tabIndex: 0 }, t);
  scroll.setAttribute("role", "region");
  scroll.setAttribute("aria-label", caption);
  return scroll;
}

function memoryPicture(bank) {
  const bar = element("div", { className: "memory", role: "img" });
  bar.setAttribute("aria-label",
    `Patch memory: ${bank.patches.length} patches, ${bank.free} of ${bank.memory} bytes free`);
  for (const p of bank.patches) {
    const band = element("span", { title: `${p.slot} ${p.label}: ${p.size} bytes` });
    band.style.flexGrow = p.size;
    bar.append(band);
  }
  const free = element("span", { className: "free", title: `free: ${bank.free} bytes` });
  free.style.flexGrow = bank.free;
  bar.append(free);
  return bar;
}

function button(label, click) {
  const b = element("button", { type: "button" }, label);
  b.addEventListener("click", click);
  return b;
}

// An opened bank's patch table, for bank `id`: what its checks found, and
// a SysEx save or send for each patch a dump may carry (not for a damaged
// bank's), which says in `status` what came of it.
const columns = (id, damaged, status) => [
  { heading: "Number", numeric: true, cell: p => String(p.slot) },
  { heading: "Name", heads: true, cell: p => p.name },
  { heading: "Sources", numeric: true, cell: p => `${p.sources} ${p.map}` },
  { heading: "Size", numeric: true, cell: p => String(p.size) },
  { heading: "File", className: "file", cell: p => [p.file, note(p.renamed), note(p.checks, "why bad"),
      note(p.copies, "why copies"),
      ...(p.dumpable && !damaged ? [" ", button("Save as SysEx", () => savePatch(id, p.index, p, status))] : [])] },
];

// What an opened bank shows; made when it is first opened. A bank refused
// as cut off shows the patches that lie whole before the cut, and only the
// .zip of them.
function bankDetails(id, damaged) {
  return started.then(core => {
    const bank = core.bank(id);
    const status = element("p", { role: "status" });
    const actions = element("div", { className: "actions" },
      button(`Download ${bank.name}.zip`, () => downloadZip(id, bank.name + ".zip", status)));
    if (!damaged && typeof window.showDirectoryPicker === "function") {
      actions.append(button(`Save into a folder… (as ${bank.name})`, () => saveInto(id, status)));
    }
    if (!damaged) {
      actions.append(button(`Save the bank as SysEx (${bank.syx})`, () => saveBank(id, bank.syx, status)),
                     button("Send the bank to the instrument", () => sendBank(id, status)));
    }
    const patches = table(damaged ? `The whole patches of ${bank.path}, a damaged bank, in memory order`
                                  : `The patches of ${bank.path}, in memory order`,
                          columns(id, damaged, status), bank.patches.map((p, index) => ({ ...p, index })));
    if (damaged) return [actions, status, patches];
    return [memoryPicture(bank),
            element("p", { className: "legend" },
                    "Each band is a patch, in memory order, as wide as its bytes; the grey part is free."),
            actions, status, patches,
            element("details", {}, element("summary", {}, "The listing as text"),
                    element("pre", {}, bank.listing))];
  });
}

// A row that opens: its summary, and what opening it shows, made once.
function opening(id, summary, damaged) {
  const details = element("details", {}, summary);
  details.addEventListener("toggle", async () => {
    if (!details.open) return collection.open.delete(id);
    if (!damaged) collection.open.add(id);
    if (details.childElementCount === 1) details.append(...await bankDetails(id, damaged));
  }, { passive: true });
  return details;
}

// What is said of a bank once, under its line.
const notes = row => row.notes.filter(Boolean).map(n => note(n));

// The rows drawn, by bank id.
const rows = new Map();

// A bank's row in the overview: its summary line, or why it was refused;
// under the line, what is said of the bank once.
function refusedRow(row) {
  const li = element("li", { className: "refused" }, element("span", { className: "line" }, row.line), ...notes(row));
  if (row.rescued) li.append(opening(row.id, element("summary", { className: "rescued" }, row.rescued), true));
  return li;
}

function bankRow(row) {
  return element("li", {}, opening(row.id, element("summary", {}, element("span", { className: "line" }, row.line),
                                                    note(row.copies, "why copies"), ...notes(row))));
}

// Keeps the element that has focus, or else the first open bank, where it
// is on the screen while `change` adds rows above it (not every browser
// does so by itself).
export async function keepInView(change) {
  const anchor = document.activeElement !== document.body && document.activeElement?.closest("main")
    ? document.activeElement : document.querySelector("#banks details[open]");
  const top = anchor?.getBoundingClientRect().top;
  await change();
  if (anchor?.isConnected) window.scrollBy(0, anchor.getBoundingClientRect().top - top);
}

// Puts each row of `ordered` in `list` in that order: new rows go in
// between, rows drawn already are not moved (a moved element loses focus).
function place(list, ordered, make) {
  let next = list.firstElementChild;
  for (const row of ordered) {
    const drawn = rows.get(row.id);
    if (drawn) {
      next = drawn.nextElementSibling;
      const copies = drawn.querySelector("summary > .copies");
      if (copies) Object.assign(copies, { textContent: row.copies, hidden: !row.copies });
    } else {
      const made = make(row);
      rows.set(row.id, made);
      list.insertBefore(made, next);
    }
  }
}

// Open banks say of their copies what the banks added since they opened change.
function redrawCopies(core) {
  for (const id of collection.open) {
    const cells = rows.get(id)?.querySelectorAll("tbody .copies") ?? [];
    core.copies(id).forEach((copies, i) => {
      if (cells[i]) Object.assign(cells[i], { textContent: copies, hidden: !copies });
    });
  }
}

// The overview as the core has it now.
export async function drawCollection() {
  const core = await started;
  const overview = core.overview();
  place($("refused"), overview.refused, refusedRow);
  place($("banks"), overview.banks, bankRow);
  redrawCopies(core);
  $("refused-heading").hidden = overview.refused.length === 0;
  $("collection").hidden = overview.refused.length + overview.banks.length + overview.skipped === 0;
  $("totals").textContent = overview.totals;
  $("zip-all").disabled = $("syx-all").disabled = overview.banks.length === 0;
}

export function clearDrawn() {
  rows.clear();
  $("banks").replaceChildren();
  $("refused").replaceChildren();
}
