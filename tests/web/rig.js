#!/usr/bin/env node
// The browser rig: serves a minimal page (a canvas, the wasm module, graph files) from
// 127.0.0.1, opens it in the system's headless Chromium through the DevTools protocol, checks
// that WebGL 2 draws there (a cleared canvas read back), and compares what the module reports
// about each graph with what the desktop's orvo-inspect says about the same file.
//
//   node rig.js --module-dir DIR --inspect PATH [--graph FILE...] [--generate NODES...]
//
// --generate writes a site of that many nodes with orvo-gen (beside orvo-inspect) for the run: a
// big one takes the paths a small file never does (large memory blocks, the layout's second
// thread, which the browser cannot start).
//
// Exit status 0 when every check holds, 1 when one fails, 77 (skipped) when the module has not
// been built, the node packages are not installed or no browser is there; the reason is printed.
"use strict";

const { execFileSync, spawnSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const { parseOptions, runMain, closeAll, requirePieces, serve, launch, openPage } = require("./browser");

// The positions the module computes may differ from the desktop's in the last bits: the two C
// libraries' sin, tanh, asinh and the like round differently. Far below any fault of the
// layout (a wrong parent, size or order moves a node by 1e-3 and more).
const kCoordinateTolerance = 1e-12;
// A guard against a page that never finishes, not a speed check.
const kPageTimeoutMs = 300000 * Number(process.env.ORVO_TEST_TIME_SCALE || 1);

function parseArguments(argv) {
  const options = parseOptions(argv, { graphs: [], generate: [] }, { "--module-dir": "moduleDir", "--inspect": "inspect" },
    (options, name, value) => {
      if (name === "--graph") options.graphs.push(value);
      else if (name === "--generate") options.generate.push(Number(value));
      else return false;
      return true;
    });
  if (!options.moduleDir || !options.inspect || options.graphs.length + options.generate.length === 0)
    throw new Error("usage: rig.js --module-dir DIR --inspect PATH [--graph FILE...] [--generate NODES...]");
  return options;
}

// What the desktop says about a file: its summary's counts and every position, or why it read
// no graph.
function inspectOnDesktop(inspect, graph) {
  const summary = spawnSync(inspect, [graph], { encoding: "utf8" });
  if (summary.status !== 0) return { failed: true, message: summary.stderr.trim() };
  const counts = /: (\d+) nodes, (\d+) links/.exec(summary.stdout);
  if (!counts) throw new Error(`unexpected orvo-inspect output: ${summary.stdout}`);
  const positions = execFileSync(inspect, ["--positions", "-", graph], {
    encoding: "utf8",
    maxBuffer: 1 << 30,
  });
  return { nodes: Number(counts[1]), links: Number(counts[2]), positions };
}

function csvRows(text) {
  // Ids may hold commas (then quoted): the coordinates are the last three fields.
  return text.split("\n").filter((line) => line.length > 0).map((line) => {
    const fields = line.split(",");
    return { head: fields.slice(0, -3).join(","), xyz: fields.slice(-3) };
  });
}

// Every row the same index and id, every coordinate within the tolerance.
function comparePositions(desktopCsv, webCsv, failures, label) {
  const desktop = csvRows(desktopCsv), web = csvRows(webCsv);
  if (desktop.length !== web.length) {
    failures.push(`${label}: ${web.length} position rows, the desktop ${desktop.length}`);
    return {};
  }
  let identicalRows = 0, largest = 0, origin = null;
  for (let i = 0; i < desktop.length; ++i) {
    const a = desktop[i], b = web[i];
    if (a.head !== b.head) {
      failures.push(`${label}: row ${i} is "${b.head}", the desktop's "${a.head}"`);
      return {};
    }
    if (a.xyz.join() === b.xyz.join()) ++identicalRows;
    if (i > 0 && a.xyz.every((c) => c === "0")) origin = a.head.slice(a.head.indexOf(",") + 1);
    for (let k = 0; k < 3 && i > 0; ++k) {
      const difference = Math.abs(Number(a.xyz[k]) - Number(b.xyz[k]));
      if (!(difference <= kCoordinateTolerance)) {
        failures.push(`${label}: row ${i} coordinate ${k} is ${b.xyz[k]}, the desktop's ${a.xyz[k]}`);
        return {};
      }
      largest = Math.max(largest, difference);
    }
  }
  return { rows: desktop.length - 1, identicalRows: identicalRows - 1, largest, origin };
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  for (const graph of options.graphs) fs.accessSync(graph, fs.constants.R_OK);
  const { puppeteer, browserPath, files } = requirePieces(options.moduleDir);
  files["/"] = { path: path.join(__dirname, "rig.html"), type: "text/html" };
  // The browser's profile and the generated graphs, removed however the run ends.
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-rig-"));
  let server, browser;
  const failures = [];
  try {
    for (const nodes of options.generate) {
      const file = path.join(scratch, `generated-${nodes}.graph`);
      execFileSync(path.join(path.dirname(options.inspect), "orvo-gen"), ["-n", String(nodes), "-o", file]);
      options.graphs.push(file);
    }
    options.graphs.forEach((graph, i) => {
      files[`/graph/${i}`] = { path: graph, type: "application/octet-stream" };
    });
    server = await serve(files);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"));
    const console_ = [];
    const page = await openPage(browser, console_);
    const { port } = server.address();
    const query = options.graphs.map((_, i) => `graph=/graph/${i}`).join("&");
    await page.goto(`http://127.0.0.1:${port}/?${query}`);
    await page.waitForFunction("window.rigDone === true", { timeout: kPageTimeoutMs, polling: 100 });
    const report = await page.evaluate(() => window.rigReport);
    if (console_.length) console.log(`page console:\n  ${console_.join("\n  ")}`);
    console.log(`browser: ${await browser.version()}`);

    if (report.failure) failures.push(`the page failed: ${report.failure}`);
    const gl = report.webgl2 || {};
    if (!gl.available) {
      failures.push("no WebGL 2 context on the canvas");
    } else {
      console.log(`WebGL 2: ${gl.version}, ${gl.renderer}; cleared to ${gl.cleared}, read ${gl.pixel}`);
      if (gl.pixel.some((c, k) => Math.abs(c - gl.cleared[k]) > 1))
        failures.push(`the cleared canvas reads ${gl.pixel}, not ${gl.cleared}`);
    }

    (report.graphs || []).forEach((web, i) => {
      const file = options.graphs[i], label = path.basename(file);
      const desktop = inspectOnDesktop(options.inspect, file);
      if (desktop.failed) {
        console.log(`${label}: the desktop reads no graph (${desktop.message}); the page: "${web.error}"`);
        if (!web.error) failures.push(`${label}: the desktop reads no graph, the page reports none either`);
        return;
      }
      if (web.error) {
        failures.push(`${label}: the page could not load it: ${web.error}`);
        return;
      }
      console.log(`${label}: ${web.nodes} nodes, ${web.links} links, top ${web.topId}, read and laid out in ${web.milliseconds.toFixed(0)} ms`);
      if (web.nodes !== desktop.nodes) failures.push(`${label}: ${web.nodes} nodes, the desktop ${desktop.nodes}`);
      if (web.links !== desktop.links) failures.push(`${label}: ${web.links} links, the desktop ${desktop.links}`);
      const positions = comparePositions(desktop.positions, web.positions || "", failures, label);
      if (positions.rows === undefined) return;
      console.log(`${label}: ${positions.identicalRows} of ${positions.rows} positions identical to the last digit, the rest within ${positions.largest.toExponential(2)}`);
      if (web.topId !== positions.origin)
        failures.push(`${label}: top node ${web.topId}, the desktop places ${positions.origin} at the origin`);
    });
    if ((report.graphs || []).length !== options.graphs.length)
      failures.push(`the page reported ${(report.graphs || []).length} of ${options.graphs.length} graphs`);
  } finally {
    await closeAll({ browser, server, scratch });
  }
  return failures;
}

runMain(main);
