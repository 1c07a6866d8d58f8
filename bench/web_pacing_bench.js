#!/usr/bin/env node
// How the published page keeps its frames moving where the browser draws WebGL in software
// (headless Chromium: SwiftShader, as on virtual machines, remote desktops and blocklisted
// drivers). For each map, opened from file:// at 800x600: its first whole picture (when it is on
// the screen, and the nodes it holds); then, with the slices at their full 50 ms as before
// ("fixed") and sized to what the frames cost ("paced"), both in this run from the same view:
//   drag    a 30-motion left drag: how long the page takes to have every motion, and the time
//           between the frames it draws meanwhile (median and longest; goal: median <= 150 ms)
//   rest    the nodes the start view's picture holds once its refinement has ended
//   click   a click on a node's cube: the time until the flight and the refinement have ended
//           and the picture is on the screen (goal: <= 2 s), and the nodes that picture holds
//
//   node bench/web_pacing_bench.js --build-dir build [--module-dir build-web/web]
//        [--graph FILE]... [--generate NODES]...
//
// Without --graph and --generate: the bundled example and a generated 1 000 000-node site. A
// graph is anything orvo-publish reads (an edge list of a distribution's package dependencies,
// grouped by section, is the dependency graph the issue names).
"use strict";

const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const url = require("url");
const {
  parseOptions, takeGraphOption, generateGraphs, runMain, closeAll, requirePieces, launch, openPage,
} = require("../tests/web/browser");

const kWidth = 800, kHeight = 600, kDragMotions = 30;

function parseArguments(argv) {
  const options = parseOptions(argv, { graphs: [], moduleDir: path.join(__dirname, "../build-web/web") },
    { "--build-dir": "buildDir", "--module-dir": "moduleDir" },
    (options, name, value) => takeGraphOption(options, name, value, []));
  if (!options.buildDir) throw new Error("usage: web_pacing_bench.js --build-dir DIR [--module-dir DIR] [--graph FILE]... [--generate NODES]...");
  if (!options.graphs.length) {
    options.graphs.push({ file: path.join(__dirname, "../examples/sqlite-doc.graph") }, { generate: 1000000 });
  }
  return options;
}

// Back at the start view, drawn in full and on the screen, the slices as `paced` says; the nodes
// that picture holds once the refinement has ended.
async function startView(page, paced) {
  return page.evaluate(async (paced) => {
    const { module, view, options } = window.orvoMap;
    view.paced = paced;
    const id = (options && options.start) || module.UTF8ToString(module._orvo_view_top(view.handle));
    const at = module._malloc(id.length * 4 + 1);
    module.stringToUTF8(id, at, id.length * 4 + 1);
    module._orvo_view_goto(view.handle, at);
    module._free(at);
    view.drawing(() => module._orvo_view_redraw(view.handle));
    await view.settled();
    const gl = view.canvas.getContext("webgl2");
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
    return view.nodesDrawn();
  }, paced);
}

// The frames the view draws a slice in, from now on, as times on the page's clock.
async function recordFrames(page) {
  await page.evaluate(() => {
    const view = window.orvoMap.view;
    window.benchFrames = [];
    if (view.benchPace) return;
    view.benchPace = view.pace;
    view.pace = (now) => {
      window.benchFrames.push(now);
      view.benchPace(now);
    };
  });
}

async function drag(page) {
  await recordFrames(page);
  const [x, y] = [kWidth / 2 - 60, kHeight / 2 - 30];
  await page.mouse.move(x, y);
  const start = await page.evaluate(() => performance.now());
  await page.mouse.down();
  for (let i = 1; i <= kDragMotions; ++i) await page.mouse.move(x + 4 * i, y + 2 * i);
  await page.mouse.up();
  return page.evaluate(async (start) => {
    const end = performance.now();
    const frames = window.benchFrames.filter((t) => t >= start && t <= end);
    const gaps = frames.slice(1).map((t, i) => t - frames[i]).sort((a, b) => a - b);
    await window.orvoMap.view.settled();
    return {
      seconds: (end - start) / 1000, frames: frames.length,
      median: gaps.length ? gaps[gaps.length >> 1] : NaN, longest: gaps.length ? gaps[gaps.length - 1] : NaN,
    };
  }, start);
}

// A node's cube to click: the largest one drawn wholly inside the picture away from its centre.
async function cubeToClick(page) {
  return page.evaluate((w, h) => {
    const { module, view } = window.orvoMap;
    const lines = module.UTF8ToString(module._orvo_view_report(view.handle)).split("\n").slice(1);
    let best = null;
    for (const line of lines) {
      const fields = line.split(",");
      if (fields[0] !== "node") continue;
      const [x0, y0, x1, y1] = fields.slice(-4).map(Number);
      const [cx, cy] = [(x0 + x1) / 2, (y0 + y1) / 2];
      if (x0 < 4 || y0 < 4 || x1 > w - 4 || y1 > h - 4 || Math.hypot(cx - w / 2, cy - h / 2) < 40) continue;
      const area = (x1 - x0) * (y1 - y0);
      if (area >= 1 && (!best || area > best.area)) best = { area, x: Math.round(cx), y: Math.round(cy) };
    }
    return best;
  }, kWidth, kHeight);
}

async function click(page) {
  const cube = await cubeToClick(page);
  if (!cube) return null;
  await page.mouse.move(cube.x, cube.y);
  const start = await page.evaluate(() => performance.now());
  await page.mouse.click(cube.x, cube.y);
  return page.evaluate(async (start) => {
    const view = window.orvoMap.view;
    await view.settled();
    const gl = view.canvas.getContext("webgl2");
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
    return { seconds: (performance.now() - start) / 1000, nodes: view.nodesDrawn() };
  }, start);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const { puppeteer, browserPath } = requirePieces(options.moduleDir);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-pacing-bench-"));
  let browser;
  try {
    generateGraphs(options.graphs, path.join(options.buildDir, "tools/orvo-gen"), scratch);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"));
    console.log(`browser: ${await browser.version()}, ${kWidth}x${kHeight}`);
    const lines = [];
    const page = await openPage(browser, lines);
    await page.setViewport({ width: kWidth, height: kHeight });
    for (const graph of options.graphs) {
      const name = graph.generate ? `generated ${graph.generate}-node site` : path.basename(graph.file);
      const map = path.join(scratch, "map.html");
      execFileSync(path.join(options.buildDir, "tools/orvo-publish"), [graph.file, "-o", map, "-q"]);
      await page.goto("about:blank");
      await page.goto(url.pathToFileURL(map).href, { waitUntil: "domcontentloaded" });
      await page.waitForFunction("window.orvoMap && window.orvoMap.state !== 'loading'", { timeout: 900000, polling: 100 });
      const opened = await page.evaluate(() => ({
        state: window.orvoMap.state, message: window.orvoMap.message, nodes: window.orvoMap.options.graph.nodes,
        read: window.orvoMap.timings.read, drawn: window.orvoMap.firstPictureMs, held: window.orvoMap.firstPictureNodes,
      }));
      if (opened.state !== "drawn") throw new Error(`${name}: the map is ${opened.state}: ${opened.message}\n${lines.join("\n")}`);
      console.log(`${name} (${opened.nodes} nodes): read and laid out at ${(opened.read / 1000).toFixed(2)} s, ` +
        `first whole picture on the screen at ${(opened.drawn / 1000).toFixed(2)} s holding ${opened.held} nodes (paced)`);
      for (const paced of [false, true]) {
        const mode = paced ? "paced" : "fixed";
        const atRest = await startView(page, paced);
        console.log(`  ${mode}: the start view at rest holds ${atRest} nodes`);
        const d = await drag(page);
        console.log(`  ${mode}: ${kDragMotions}-motion drag had in ${d.seconds.toFixed(2)} s, ${d.frames} frames, ` +
          `${d.median.toFixed(0)} ms apart (median; goal <= 150), longest ${d.longest.toFixed(0)} ms`);
        await startView(page, paced);
        const c = await click(page);
        if (!c) console.log(`  ${mode}: no node cube to click`);
        else console.log(`  ${mode}: click settled and on the screen in ${c.seconds.toFixed(2)} s (goal <= 2), the picture holding ${c.nodes} nodes`);
      }
      fs.rmSync(map);
    }
  } finally {
    await closeAll({ browser, scratch });
  }
}

runMain(main);
