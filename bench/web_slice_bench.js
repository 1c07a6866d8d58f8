#!/usr/bin/env node
// The wasm renderer's nodes per fresh 50 ms slice in headless Chromium (WebGL 2 on SwiftShader),
// next to the desktop render benchmark's figures on the same generated graph from the same run:
// the GL 1.1 vertex arrays and the shader back end on Mesa (orvo_render_bench's
// BM_ModernAgainstVertexArrays). The goal: the browser draws at least half the desktop's nodes.
// The same figure is taken in the published page too (orvo-publish's single file of the same
// graph, opened from file://, labels off as in the other figures), which carries the viewer's
// search, legend and links around the same view.
//
//   node web_slice_bench.js --module-dir DIR --build-dir DIR [--nodes N] [--slices N]
//
// The node packages come from tests/web (npm ci there, or ./scripts/setup.sh web).
"use strict";

const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const url = require("url");
const {
  parseOptions, runMain, closeAll, requirePieces, serve, launch, openPage,
} = require("../tests/web/browser");

// The graph the desktop benchmark draws: orvo_render_bench's BM_ModernAgainstVertexArrays
// generates 100 000 nodes with seed 1.
const kDesktopNodes = 100000;

function parseArguments(argv) {
  const options = parseOptions(argv, { nodes: kDesktopNodes, slices: 30 },
    { "--module-dir": "moduleDir", "--build-dir": "buildDir", "--nodes": "nodes", "--slices": "slices" });
  [options.nodes, options.slices] = [Number(options.nodes), Number(options.slices)];
  if (!options.moduleDir || !options.buildDir)
    throw new Error("usage: web_slice_bench.js --module-dir DIR --build-dir DIR [--nodes N] [--slices N]");
  return options;
}

// The desktop's nodes per fresh slice, vertex arrays and shader back end, labels off.
function desktopSlices(buildDir, scratch) {
  const out = path.join(scratch, "render-bench.json");
  execFileSync(path.join(buildDir, "bench", "orvo_render_bench"), [
    "--benchmark_filter=BM_ModernAgainstVertexArrays",
    `--benchmark_out=${out}`, "--benchmark_out_format=json",
  ], { stdio: ["ignore", "ignore", "inherit"] });
  const run = JSON.parse(fs.readFileSync(out, "utf8")).benchmarks
    .find((b) => b.name.startsWith("BM_ModernAgainstVertexArrays"));
  if (!run || run.error_occurred) throw new Error(`the desktop benchmark failed: ${run && run.error_message}`);
  return { vertexArrays: run.vertex_arrays, modern: run.modern };
}

// The same slices in the published page: the graph published as one file with the labels off
// ("l" twice), opened from file://, its frame drawn in full twice first.
async function publishedSlices(page, options, graph, scratch, lines) {
  const map = path.join(scratch, "map.html");
  execFileSync(path.join(options.buildDir, "tools", "orvo-publish"), [graph, "-o", map, "--keys", "ll"]);
  await page.goto(url.pathToFileURL(map).href);
  await page.waitForFunction("window.orvoMap && window.orvoMap.state !== 'loading'", { timeout: 600000, polling: 200 });
  const report = await page.evaluate(async (slices) => {
    const { module, view, state, message } = window.orvoMap;
    if (state !== "drawn") return { failure: message };
    const nextFrame = () => new Promise((resolve) => requestAnimationFrame(resolve));
    module._orvo_view_redraw(view.handle);
    await view.settled();
    const drawn = [], toNextFrame = [];
    for (let i = 0; i < slices; ++i) {
      const start = performance.now();
      module._orvo_view_redraw(view.handle);
      drawn.push(view.nodesLastSlice());
      await nextFrame();
      toNextFrame.push(performance.now() - start);
    }
    const mean = (values) => values.reduce((a, b) => a + b, 0) / values.length;
    return { meanNodes: mean(drawn), meanToNextFrame: mean(toNextFrame) };
  }, options.slices);
  if (report.failure) throw new Error(`the published page failed: ${report.failure}\n${lines.join("\n")}`);
  return report;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const { puppeteer, browserPath, files } = requirePieces(options.moduleDir);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-web-bench-"));
  let server, browser;
  try {
    const graph = path.join(scratch, "site.graph");
    execFileSync(path.join(options.buildDir, "tools", "orvo-gen"),
      ["-n", String(options.nodes), "-s", "1", "-o", graph]);
    files["/"] = { path: path.join(__dirname, "web_slice_bench.html"), type: "text/html" };
    files["/graph"] = { path: graph, type: "application/octet-stream" };
    server = await serve(files);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"));
    const lines = [];
    const page = await openPage(browser, lines);
    await page.setViewport({ width: 800, height: 600 });
    const query = new URLSearchParams({ graph: "/graph", width: 800, height: 600, slices: options.slices });
    await page.goto(`http://127.0.0.1:${server.address().port}/?${query}`);
    await page.waitForFunction("window.benchDone === true", { timeout: 600000, polling: 200 });
    const web = await page.evaluate(() => window.benchReport);
    if (web.failure) throw new Error(`the page failed: ${web.failure}\n${lines.join("\n")}`);
    const published = await publishedSlices(page, options, graph, scratch, lines);
    await browser.close();
    browser = null;
    const desktop = desktopSlices(options.buildDir, scratch);
    const share = (100 * web.meanNodes) / desktop.vertexArrays;
    console.log(`summary (800x600, one fresh 50 ms slice, labels off, ${options.nodes} generated nodes)`);
    console.log(`  browser: wasm renderer, WebGL 2 on SwiftShader in headless Chromium: ${web.meanNodes.toFixed(0)} nodes; from the slice's start to the next animation frame ${web.meanToNextFrame.toFixed(0)} ms (read and laid out in ${web.loadMilliseconds.toFixed(0)} ms)`);
    console.log(`  desktop: GL 1.1 vertex arrays on Mesa: ${desktop.vertexArrays.toFixed(0)} nodes; shader back end on Mesa: ${desktop.modern.toFixed(0)} nodes`);
    console.log(`  published page (orvo-publish, from file://): ${published.meanNodes.toFixed(0)} nodes; from the slice's start to the next animation frame ${published.meanToNextFrame.toFixed(0)} ms`);
    console.log(`  the browser draws ${share.toFixed(0)} % of the desktop's vertex-array figure (goal >= 50 %), ` +
      `the published page ${((100 * published.meanNodes) / desktop.vertexArrays).toFixed(0)} %`);
  } finally {
    await closeAll({ browser, server, scratch });
  }
}

runMain(main);
