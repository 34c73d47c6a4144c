// Builds the single offline page: uPlot and the page's own files are inlined so opening it from
// disk fetches nothing.   usage: node build.js NODE_MODULES_DIR OUTPUT_HTML
"use strict";
const fs = require("fs");
const path = require("path");

const [modules, output] = process.argv.slice(2);
if (!modules || !output) {
  console.error("usage: node build.js NODE_MODULES_DIR OUTPUT_HTML");
  process.exit(2);
}
const src = path.join(__dirname, "src");
const parts = {
  "uplot.js": path.join(modules, "uplot/dist/uPlot.iife.min.js"),
  "uplot.css": path.join(modules, "uplot/dist/uPlot.min.css"),
  "analysis.js": path.join(src, "analysis.js"),
  "page.js": path.join(src, "page.js"),
  "page.css": path.join(src, "page.css"),
};
let html = fs.readFileSync(path.join(src, "page.html"), "utf8");
for (const [name, file] of Object.entries(parts)) {
  const marker = `/*INLINE:${name}*/`;
  if (!html.includes(marker)) throw new Error(`page.html lacks ${marker}`);
  // A "</script" inside inlined code would end the element early.
  const text = fs.readFileSync(file, "utf8").replace(/<\/(script|style)/gi, "<\\/$1");
  html = html.replace(marker, () => text);
}
fs.mkdirSync(path.dirname(output), { recursive: true });
fs.writeFileSync(output, html);
