#!/usr/bin/env node
// The published map's sizes and times, each command a fresh process as a user runs it, for both
// forms of the graph a page carries in one run: the map (orvo-publish's default) and the outline
// (--outline). orvo-publish's single file and folder against `gzip -9` of the graph's outline
// file (goals: the single file at most 1.4 times, the folder 1.1), the time orvo-publish takes,
// and in headless Chromium the time from the page's start of loading to its first whole picture
// (goals for a map: the generated 1 000 000-node site within 1 s; for an outline: within 5 s)
// with the browser's peak memory (the resident memory of all its processes, sampled every 50 ms;
// goal for a map: at most 0.3 GB above the bundled example's map in the same run) and the
// program's own memory (its wasm heap, which 4 GiB bounds); then how long the page is busy
// working out the nodes' measures after that picture, and the heap after them. A map is opened
// twice: as its page opens it (a large map a region at a time) and read whole (?regionAbove=0),
// and the time until the page is at rest (a full region in place of the first) is reported too.
//
//   node bench/publish_bench.js --build-dir build [--module-dir build-web/web]
//        [--graph FILE]... [--nodes N]... [--form map|outline]...
//
// Without --graph and --nodes: the bundled example and a generated 1 000 000-node site; without
// --form: both forms.
"use strict";

const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const url = require("url");
const { parseOptions, runMain, closeAll, requirePieces, launch } = require("../tests/web/browser");

function parseArguments(argv) {
  const options = parseOptions(argv, { graphs: [], nodes: [], forms: [], moduleDir: path.join(__dirname, "../build-web/web") },
    { "--build-dir": "buildDir", "--module-dir": "moduleDir" }, (options, name, value) => {
      if (name === "--graph") options.graphs.push(value);
      else if (name === "--nodes") options.nodes.push(Number(value));
      else if (name === "--form" && (value === "map" || value === "outline")) options.forms.push(value);
      else return false;
      return true;
    });
  if (!options.forms.length) options.forms.push("map", "outline");
  if (!options.buildDir) throw new Error("usage: publish_bench.js --build-dir DIR [--module-dir DIR] [--graph FILE]... [--nodes N]... [--form map|outline]...");
  if (!options.graphs.length && !options.nodes.length) {
    options.graphs.push(path.join(__dirname, "../examples/sqlite-doc.graph"));
    options.nodes.push(1000000);
  }
  return options;
}

function timed(program, args) {
  const started = process.hrtime.bigint();
  const out = execFileSync(program, args, { maxBuffer: 1 << 30, stdio: ["ignore", "pipe", "pipe"] });
  return { seconds: Number(process.hrtime.bigint() - started) / 1e9, out };
}

// The resident memory of the process and all its descendants, in bytes.
function treeRss(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync("/proc")) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, "utf8");
      const parent = Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(entry));
    } catch { /* gone meanwhile */ }
  }
  let total = 0;
  const stack = [pid];
  while (stack.length) {
    const p = stack.pop();
    try {
      const status = fs.readFileSync(`/proc/${p}/status`, "utf8");
      const rss = /VmRSS:\s+(\d+) kB/.exec(status);
      if (rss) total += Number(rss[1]) * 1024;
    } catch { /* gone meanwhile */ }
    stack.push(...(children.get(p) || []));
  }
  return total;
}

async function openMap(browser, file, query = "") {
  const page = await browser.newPage();
  await page.setViewport({ width: 800, height: 600 });
  const pid = browser.process().pid;
  let peak = treeRss(pid);
  const sampler = setInterval(() => (peak = Math.max(peak, treeRss(pid))), 50);
  try {
    await page.goto(url.pathToFileURL(file).href + query, { waitUntil: "domcontentloaded" });
    await page.waitForFunction("window.orvoMap && window.orvoMap.state !== 'loading'", { timeout: 600000, polling: 50 });
    const result = await page.evaluate(() => ({
      state: window.orvoMap.state,
      message: window.orvoMap.message,
      firstPictureMs: window.orvoMap.firstPictureMs,
      timings: window.orvoMap.timings,
      heap: window.orvoMap.module ? window.orvoMap.module.HEAPU8.length : 0,
    }));
    Object.assign(result, await page.evaluate(async () => {
      await window.orvoMap.measured;
      await window.orvoMap.view.rested();
      const viewer = window.orvoMap.viewer, m = window.orvoMap.module;
      return { measures: viewer ? viewer.measures : "none", measuresMs: viewer ? viewer.measuresMs : 0,
        heapMeasured: m ? m.HEAPU8.length : 0, restedMs: performance.now(),
        counts: m ? m.UTF8ToString(m._orvo_view_counts(window.orvoMap.view.handle)) : "" };
    }));
    peak = Math.max(peak, treeRss(pid));
    return { ...result, peak };
  } finally {
    clearInterval(sampler);
    await page.close();
  }
}

const mb = (bytes) => `${(bytes / 1e6).toFixed(1)} MB`;

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const { puppeteer, browserPath } = requirePieces(options.moduleDir);
  const publish = path.join(options.buildDir, "tools/orvo-publish");
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-publish-bench-"));
  let browser;
  try {
    const graphs = [...options.graphs];
    for (const nodes of options.nodes) {
      const file = path.join(scratch, `site-${nodes}.graph`);
      timed(path.join(options.buildDir, "tools/orvo-gen"), ["-n", String(nodes), "-o", file]);
      graphs.push(file);
    }
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"));
    console.log(`browser: ${await browser.version()}`);
    // The bundled example's peak for each form, which the larger graphs' are set against.
    const examplePeak = {};
    for (const graph of graphs) {
      const name = path.basename(graph);
      const outline = fs.statSync(graph).size;
      const gzip = timed("gzip", ["-9c", graph]);
      console.log(`${name}: outline ${mb(outline)}, gzip -9 ${mb(gzip.out.length)} (${gzip.seconds.toFixed(2)} s)`);
      for (const form of options.forms) {
        const formArgs = form === "outline" ? ["--outline"] : [];
        const map = path.join(scratch, `${form}.html`), folder = path.join(scratch, "folder");
        const single = timed(publish, [graph, "-o", map, "-q", ...formArgs]);
        const folderRun = timed(publish, [graph, "--folder", folder, "-q", ...formArgs]);
        const singleBytes = fs.statSync(map).size;
        const folderBytes = fs.readdirSync(folder).reduce((sum, f) => sum + fs.statSync(path.join(folder, f)).size, 0);
        fs.rmSync(folder, { recursive: true });
        console.log(` the ${form}:`);
        console.log(`  single file ${mb(singleBytes)} = ${(singleBytes / gzip.out.length).toFixed(3)} x gzip -9 (goal 1.4), orvo-publish ${single.seconds.toFixed(2)} s`);
        console.log(`  folder ${mb(folderBytes)} = ${(folderBytes / gzip.out.length).toFixed(3)} x gzip -9 (goal 1.1), orvo-publish --folder ${folderRun.seconds.toFixed(2)} s`);
        for (const query of form === "map" ? ["", "?regionAbove=0"] : [""]) {
          const opened = await openMap(browser, map, query);
          if (opened.state !== "drawn") {
            console.log(`  in the browser: ${opened.state}: ${opened.message}`);
            continue;
          }
          const key = form + query;
          if (examplePeak[key] === undefined) examplePeak[key] = opened.peak;
          const above = opened.peak - examplePeak[key];
          if (form === "map") console.log(`  opened ${query ? "whole" : "as the page opens it"}: ${opened.counts}`);
          console.log(`  first whole picture ${(opened.firstPictureMs / 1000).toFixed(2)} s from the page's start of loading; ` +
            `browser peak memory ${mb(opened.peak)} (${mb(above)} above ${path.basename(graphs[0])}'s ${form}), ` +
            `the program's heap ${mb(opened.heap)}`);
          const t = opened.timings;
          console.log(`  steps ended at: unpacked ${(t.unpacked / 1000).toFixed(2)} s, program ${(t.program / 1000).toFixed(2)} s, ` +
            `inflated ${(t.inflated / 1000).toFixed(2)} s, ` +
            `read${form === "outline" ? " and laid out" : ""} ${(t.read / 1000).toFixed(2)} s, drawn ${(t.drawn / 1000).toFixed(2)} s`);
          console.log(`  then the measures ${opened.measures}: the page busy ${(opened.measuresMs / 1000).toFixed(2)} s with them, ` +
            `the program's heap ${mb(opened.heapMeasured)} after; at rest ${(opened.restedMs / 1000).toFixed(2)} s`);
        }
        fs.rmSync(map);
      }
    }
  } finally {
    await closeAll({ browser, scratch });
  }
}

runMain(main);
