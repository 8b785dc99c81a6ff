// What the page takes from fflate: the .zip writer alone, bundled at build
// time so that the page stays one small file.
export { zipSync } from "fflate";
