// What the page takes from fflate: its streaming .zip writer alone, bundled
// at build time so that the page stays one small file.
export { Zip } from "fflate";
