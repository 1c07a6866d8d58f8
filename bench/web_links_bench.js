#!/usr/bin/env node
// The published page's Links panel on a node with a million links in (--links N sets another
// count): the graph as the Links list benchmark builds it (every page under the top links to the
// hub), published with orvo-publish and opened from file:// in headless Chromium. Reports how
// long the panel takes to list the hub's links and make the rows in sight, to sort them by link
// score and by name, and to filter them: what a user waits for (goal: well under a second for
// listing and filtering, a sort a little more).
//
//   node bench/web_links_bench.js --build-dir build [--module-dir build-web/web] [--links N]
"use strict";

const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const url = require("url");
const { parseOptions, runMain, closeAll, requirePieces, launch } = require("../tests/web/browser");

function parseArguments(argv) {
  const options = parseOptions(argv, { links: "1000000", moduleDir: path.join(__dirname, "../build-web/web") },
    { "--build-dir": "buildDir", "--module-dir": "moduleDir", "--links": "links" });
  if (!options.buildDir) throw new Error("usage: web_links_bench.js --build-dir DIR [--module-dir DIR] [--links N]");
  return options;
}

function writeHub(file, links) {
  const out = fs.openSync(file, "w");
  fs.writeSync(out, "0 a://h/ 0 html main\n1 a://h/hub.html 0 html main\n");
  const step = 10000;
  for (let i = 0; i < links; i += step) {
    let text = "";
    for (let k = i; k < Math.min(i + step, links); ++k)
      text += `1 a://h/p${k}.html 0 html main\n2 a://h/hub.html 0 html main\n`;
    fs.writeSync(out, text);
  }
  fs.closeSync(out);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const links = Number(options.links);
  const { puppeteer, browserPath } = requirePieces(options.moduleDir);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-web-links-bench-"));
  let browser;
  try {
    const graph = path.join(scratch, "hub.graph"), map = path.join(scratch, "hub.html");
    writeHub(graph, links);
    execFileSync(path.join(options.buildDir, "tools/orvo-publish"), [graph, "-o", map, "-q"]);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"));
    console.log(`browser: ${await browser.version()}`);
    const page = await browser.newPage();
    await page.setViewport({ width: 1000, height: 700 });
    await page.goto(url.pathToFileURL(map).href, { waitUntil: "domcontentloaded" });
    await page.waitForFunction("window.orvoMap && window.orvoMap.state !== 'loading'", { timeout: 600000, polling: 100 });
    const result = await page.evaluate(async () => {
      await window.orvoMap.measured;
      const viewer = window.orvoMap.viewer, panel = viewer.links;
      const timed = (call) => {
        const start = performance.now();
        call();
        return performance.now() - start;
      };
      viewer.travel("a://h/hub.html");
      const list = timed(() => panel.show(true));
      const byScore = timed(() => panel.sortBy(3));
      const byName = timed(() => panel.sortBy(1));
      panel.filter.value = "p99";
      const filter = timed(() => panel.filter.dispatchEvent(new Event("input")));
      return { state: window.orvoMap.state, measuresMs: viewer.measuresMs, list, byScore, byName, filter,
        summary: panel.summary.textContent, made: panel.scroller.querySelectorAll(".orvo-link-row").length };
    });
    console.log(`a hub with ${links.toLocaleString("en")} links in: the page's measures took ${(result.measuresMs / 1000).toFixed(2)} s`);
    console.log(`  the panel listed them in ${(result.list / 1000).toFixed(3)} s, sorted by link score in ` +
      `${(result.byScore / 1000).toFixed(3)} s, by name in ${(result.byName / 1000).toFixed(3)} s, ` +
      `filtered ("p99") in ${(result.filter / 1000).toFixed(3)} s: "${result.summary}", ${result.made} rows made`);
  } finally {
    await closeAll({ browser, scratch });
  }
}

runMain(main);
