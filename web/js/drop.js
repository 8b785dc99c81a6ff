// Files and folders handed over: picked with the file or folder button, or
// dropped. Each becomes { file, path, inFolder } (or { path, inFolder,
// error } for one the browser cannot give).

// A dropped file or folder, walked: every file in it, with its path.
async function walk(entry, inFolder, out) {
  const path = entry.fullPath.replace(/^\//, "");
  if (entry.isFile) {
    try {
      out.push({ file: await new Promise((ok, fail) => entry.file(ok, fail)), path, inFolder });
    } catch (error) {
      out.push({ path, inFolder, error });
    }
    return;
  }
  const reader = entry.createReader();
  for (let batch; (batch = await new Promise((ok, fail) => reader.readEntries(ok, fail))).length;) {
    for (const child of batch) await walk(child, true, out);
  }
}

export const picked = input => [...input.files].map(file => ({ file, path: file.name, inFolder: false }));

// A folder button's files arrive with their paths in it.
export const pickedFolder = input => [...input.files].map(file =>
  ({ file, path: file.webkitRelativePath || file.name, inFolder: true }));

// Takes what the event drops while it lasts (the items are gone after it):
// a folder is walked, a file is taken as it is.
export async function dropped(event) {
  const items = [...(event.dataTransfer.items ?? [])].filter(i => i.kind === "file");
  const given = items.length ? items.map(i => ({ entry: i.webkitGetAsEntry?.(), file: i.getAsFile() }))
                             : [...event.dataTransfer.files].map(file => ({ file }));
  const files = [];
  for (const { entry, file } of given) {
    if (entry?.isDirectory) {
      await walk(entry, false, files);
    } else if (file) {
      files.push({ file, path: file.name, inFolder: false });
    }
  }
  return files;
}

// Shows where a drop would land while something is dragged over the page.
export function onDrop(target, take) {
  for (const type of ["dragenter", "dragover"]) {
    document.addEventListener(type, e => { e.preventDefault(); target.classList.add("over"); });
  }
  document.addEventListener("dragleave", () => target.classList.remove("over"));
  document.addEventListener("drop", async e => {
    e.preventDefault();
    target.classList.remove("over");
    take(await dropped(e));
  });
}
