#!/usr/bin/env node
// The view rig: draws a graph in headless Chromium through the wasm module's renderer and viewer
// (WebGL 2 on SwiftShader), waits for the first picture to be drawn in full, and compares its
// pixels with the desktop's `orvo-snapshot --gl modern` of the same graph, view and size, labels
// off on both. Then it moves the pointer onto drawn nodes and clicks one through the DevTools
// protocol, and checks what the page says was hovered and clicked against
// `orvo-snapshot --pick X,Y` (GL 1.1 selection mode) at the same pixels.
//
//   node view_rig.js --module-dir DIR --snapshot PATH [--graph FILE...] [--gzipped-graph FILE...]
//                    [--size WxH] [--resize WxH] [--bad-graph FILE]
//
// --bad-graph: a file without a graph, loaded into the view once its picture is compared: the
// page must say why it failed and keep the picture as it was.
// --resize: once the first picture is compared, the canvas takes this size and the picture drawn
// at it is compared with orvo-snapshot's at that size.
// --gzipped-graph hands the page the graph gzipped, for the browser to inflate.
//
// Exit status 0 when every check holds, 1 when one fails, 77 (skipped) when a piece is missing.
"use strict";

const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const zlib = require("zlib");
const {
  parseOptions, parseSize, runMain, closeAll, requirePieces, serve, launch, openPage, moveMouse,
} = require("./browser");

// The pictures agree when the mean channel difference is at most kMeanDiff and at most
// kDifferingShare of the drawn pixels differ by more than kShiftTolerance in a channel from every
// pixel round them in the other picture (as the desktop's pixel tests compare two back ends).
const kMeanDiff = 1.0;
const kShiftTolerance = 16;
const kDifferingShare = 0.005;
// A guard against a page that never finishes, not a speed check.
const kPageTimeoutMs = 300000 * Number(process.env.ORVO_TEST_TIME_SCALE || 1);
// Labels off: "l" twice steps the label choice from short names past full paths to none.
const kLabelsOff = ["--keys", "ll"];

function parseArguments(argv) {
  const options = parseOptions(argv, { graphs: [], gzipped: new Set(), width: 800, height: 600 },
    { "--module-dir": "moduleDir", "--snapshot": "snapshot", "--bad-graph": "badGraph" },
    (options, name, value) => {
      if (name === "--graph") options.graphs.push(value);
      else if (name === "--gzipped-graph") {
        options.gzipped.add(options.graphs.length);
        options.graphs.push(value);
      } else if (name === "--resize") options.resize = parseSize(name, value);
      else if (name === "--size") [options.width, options.height] = parseSize(name, value);
      else return false;
      return true;
    });
  if (!options.moduleDir || !options.snapshot || options.graphs.length === 0)
    throw new Error("usage: view_rig.js --module-dir DIR --snapshot PATH [--graph FILE...] [--gzipped-graph FILE...] [--size WxH] [--resize WxH] [--bad-graph FILE]");
  return options;
}

// The desktop's comparison of two pictures of one scene (RGBA, rows top first): the largest and
// the mean channel difference, and how many drawn (non-background) pixels differ by more than
// the tolerance from all nine pixels round them in the other picture, either way.
function comparePictures(a, b, width, height, background, tolerance) {
  const at = (x, y) => (y * width + x) * 4;
  const channelDiff = (p, i, q, j) =>
    Math.max(Math.abs(p[i] - q[j]), Math.abs(p[i + 1] - q[j + 1]), Math.abs(p[i + 2] - q[j + 2]));
  const bestShift = (p, i, other, x, y) => {
    let best = 255;
    for (let dy = -1; dy <= 1; ++dy)
      for (let dx = -1; dx <= 1; ++dx) {
        const nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
        best = Math.min(best, channelDiff(p, i, other, at(nx, ny)));
      }
    return best;
  };
  const isBackground = (p, i) => p[i] === background[0] && p[i + 1] === background[1] && p[i + 2] === background[2];
  const d = { maxDiff: 0, meanDiff: 0, drawn: 0, differing: 0, worstShifted: 0, where: [] };
  let sum = 0;
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width; ++x) {
      const i = at(x, y);
      for (let c = 0; c < 3; ++c) sum += Math.abs(a[i + c] - b[i + c]);
      d.maxDiff = Math.max(d.maxDiff, channelDiff(a, i, b, i));
      if (isBackground(a, i) && isBackground(b, i)) continue;
      ++d.drawn;
      const shifted = Math.max(bestShift(a, i, b, x, y), bestShift(b, i, a, x, y));
      d.worstShifted = Math.max(d.worstShifted, shifted);
      if (shifted > tolerance) {
        ++d.differing;
        d.where.push(i);
      }
    }
  d.meanDiff = sum / (width * height * 3);
  return d;
}

// An RGBA picture (rows top first) as a PNG file, to be looked at.
function writePng(file, width, height, rgba) {
  const table = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  const crc = (bytes) => {
    let c = 0xffffffff;
    for (const byte of bytes) c = table[(c ^ byte) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  };
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type, "latin1"), data]);
    const length = Buffer.alloc(4), sum = Buffer.alloc(4);
    length.writeUInt32BE(data.length);
    sum.writeUInt32BE(crc(body));
    return Buffer.concat([length, body, sum]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 6, 0, 0, 0], 8);
  const rows = Buffer.alloc((width * 4 + 1) * height);
  for (let y = 0; y < height; ++y)
    Buffer.from(rgba.buffer, rgba.byteOffset + y * width * 4, width * 4).copy(rows, y * (width * 4 + 1) + 1);
  fs.writeFileSync(file, Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk("IHDR", header), chunk("IDAT", zlib.deflateSync(rows)), chunk("IEND", Buffer.alloc(0)),
  ]));
}

// The centres of the largest node cubes the desktop draws wholly inside the picture, from its
// draw report (kind,id,x0,y0,x1,y1 with a top left origin; an id may hold quoted commas).
function pickPoints(reportCsv, width, height, count) {
  const cubes = [];
  for (const line of reportCsv.split("\n").slice(1)) {
    const fields = line.split(",");
    if (fields[0] !== "node" || fields.length < 6) continue;
    const [x0, y0, x1, y1] = fields.slice(-4).map(Number);
    if (!(x0 >= 0 && y0 >= 0 && x1 < width && y1 < height && x1 - x0 >= 4)) continue;
    cubes.push({ area: (x1 - x0) * (y1 - y0), x: Math.round((x0 + x1) / 2), y: Math.round((y0 + y1) / 2) });
  }
  cubes.sort((p, q) => q.area - p.area);
  return cubes.slice(0, count);
}

function snapshot(options, args) {
  return execFileSync(options.snapshot, [...args, "--size", `${options.width}x${options.height}`, ...kLabelsOff],
    { encoding: "utf8", maxBuffer: 1 << 28 });
}

// The page's picture (base64 RGBA, rows top first) against the desktop's PNG, decoded by the
// browser; both written to the temporary folder, with their differences marked, when they
// differ (always with ORVO_WRITE_COMPARED set).
function checkPicture(label, pictures, want, width, height, failures) {
  const got = new Uint8Array(Buffer.from(pictures.got, "base64"));
  const wanted = new Uint8Array(Buffer.from(pictures.want, "base64"));
  const background = Array.from(wanted.subarray(0, 3)); // a corner lies outside the sphere
  const d = comparePictures(wanted, got, width, height, background, kShiftTolerance);
  const share = d.drawn ? d.differing / d.drawn : 1;
  console.log(`${label}: max ${d.maxDiff}, mean ${d.meanDiff.toFixed(3)} (allowed ${kMeanDiff}), ` +
    `${d.differing} of ${d.drawn} drawn pixels differ by more than ${kShiftTolerance} beyond a 1-pixel shift ` +
    `(${(100 * share).toFixed(3)} %, allowed ${100 * kDifferingShare} %), worst after the shift ${d.worstShifted}`);
  const agree = got.length === wanted.length && d.drawn > 0 && d.meanDiff <= kMeanDiff && share <= kDifferingShare;
  if (!agree || process.env.ORVO_WRITE_COMPARED) {
    const stem = path.join(os.tmpdir(), `orvo-web-${label.replace(/[^\w.-]+/g, "-")}`);
    writePng(`${stem}.got.png`, width, height, got);
    fs.copyFileSync(want, `${stem}.want.png`);
    const marked = Uint8Array.from(got);
    for (const i of d.where) marked.set([255, 0, 0, 255], i);
    writePng(`${stem}.diff.png`, width, height, marked);
    console.log(`${label}: pictures written to ${stem}.{got,want,diff}.png (diff: the page's, red where they differ)`);
  }
  if (!agree) failures.push(`${label}: the page's picture differs from orvo-snapshot --gl modern`);
}

async function checkGraph(page, port, options, graph, index, scratch, failures) {
  const label = path.basename(graph) + (options.gzipped.has(index) ? " (gzipped)" : "");
  const { width, height } = options;
  const want = path.join(scratch, `want-${index}.png`);
  snapshot(options, ["--gl", "modern", "-o", want, graph]);
  const query = new URLSearchParams({ graph: `/graph/${index}`, want: `/want/${index}`, width, height });
  await page.goto(`http://127.0.0.1:${port}/?${query}`);
  await page.waitForFunction("window.rigDone === true", { timeout: kPageTimeoutMs, polling: 100 });
  const report = await page.evaluate(() => window.rigReport);
  if (report.failure) {
    failures.push(`${label}: the page failed: ${report.failure}`);
    return;
  }
  checkPicture(`${label}, ${width}x${height}`, report, want, width, height, failures);
  if (options.badGraph) {
    const bad = await page.evaluate(() => window.rigLoadBad("/bad-graph"));
    console.log(`${label}: loading ${path.basename(options.badGraph)} into the view fails with "${bad.error}"; the picture is ${bad.unchanged ? "unchanged" : "changed"}`);
    if (!bad.error || !bad.unchanged)
      failures.push(`${label}: a file without a graph must fail to load, saying why, and leave the picture as it was`);
  }
  if (options.resize) {
    // The canvas takes another size: the same view drawn again at it.
    const [w, h] = options.resize;
    const wantResized = path.join(scratch, `want-resized-${index}.png`);
    snapshot({ ...options, width: w, height: h }, ["--gl", "modern", "-o", wantResized, graph]);
    const resized = await page.evaluate((w, h, url) => window.rigResize(w, h, url), w, h, `/want-resized/${index}`);
    checkPicture(`${label}, resized to ${w}x${h}`, resized, wantResized, w, h, failures);
  }

  // From here on the page draws frames (the hovered cube again, the flight after the click)
  // without reading GL's state back: in a browser each read waits for every queued command.
  await page.evaluate(() => { window.rigGlReads = 0; });

  // Hover over the centres of the largest cubes, then click the last one, at the canvas's size.
  const [pw, ph] = options.resize || [width, height];
  const sized = { ...options, width: pw, height: ph };
  const reportFile = path.join(scratch, `report-${index}.csv`);
  snapshot(sized, ["--gl", "legacy", "--report", reportFile, graph]);
  const points = pickPoints(fs.readFileSync(reportFile, "utf8"), pw, ph, 3);
  if (points.length === 0) {
    failures.push(`${label}: the desktop draws no node cube to point at`);
    return;
  }
  for (const [i, p] of points.entries()) {
    const desktop = snapshot(sized, ["--gl", "legacy", "--pick", `${p.x},${p.y}`, graph]).trim();
    if (!desktop) {
      failures.push(`${label}: the desktop picks nothing at the centre ${p.x},${p.y} of a cube it drew`);
      continue;
    }
    // The viewer looks at every third pointer motion: the pointer comes near, then makes three
    // motions within the pixel, one of which the viewer takes.
    for (const near of [6, 4, 2]) await moveMouse(page, p.x + near, p.y + near);
    for (const within of [0.2, 0.5, 0.8]) await moveMouse(page, p.x + within, p.y + within);
    const last = i === points.length - 1;
    // The hover is read before the click: the flight a click starts ends the hover.
    const hovers = await page.evaluate(() => window.rigEvents.hovers);
    const hovered = hovers.length ? hovers[hovers.length - 1] : "";
    if (last) await page.mouse.click(p.x, p.y);
    const events = await page.evaluate(() => window.rigEvents);
    const clicked = last ? events.clicks[events.clicks.length - 1] : undefined;
    const what = `${label} at ${p.x},${p.y}: the desktop picks ${desktop}; the page hovers "${hovered}"` +
      (last ? `, clicks "${clicked}"` : "");
    const same = hovered === desktop && (!last || clicked === desktop);
    console.log(what);
    if (!same) failures.push(`${what}`);
  }
  await page.evaluate(() => window.rigSettled());
  const reads = await page.evaluate(() => window.rigGlReads);
  console.log(`${label}: hovering, clicking and the flight read GL's state back ${reads} times`);
  if (reads !== 0) failures.push(`${label}: the page read GL's state back ${reads} times while it drew`);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  for (const graph of options.graphs) fs.accessSync(graph, fs.constants.R_OK);
  const { puppeteer, browserPath, files } = requirePieces(options.moduleDir);
  files["/"] = { path: path.join(__dirname, "view_rig.html"), type: "text/html" };
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-view-rig-"));
  let server, browser;
  const failures = [];
  const console_ = [];
  try {
    options.graphs.forEach((graph, i) => {
      let served = graph;
      if (options.gzipped.has(i)) {
        served = path.join(scratch, `graph-${i}.gz`);
        fs.writeFileSync(served, zlib.gzipSync(fs.readFileSync(graph)));
      }
      files[`/graph/${i}`] = { path: served, type: "application/octet-stream" };
      files[`/want/${i}`] = { path: path.join(scratch, `want-${i}.png`), type: "image/png" };
      files[`/want-resized/${i}`] = { path: path.join(scratch, `want-resized-${i}.png`), type: "image/png" };
    });
    if (options.badGraph) files["/bad-graph"] = { path: options.badGraph, type: "application/octet-stream" };
    server = await serve(files);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"));
    console.log(`browser: ${await browser.version()}`);
    const page = await openPage(browser, console_);
    await page.setViewport({ width: options.width, height: options.height });
    // Every read of GL's state is counted: a state query and an error check.
    await page.evaluateOnNewDocument(() => {
      window.rigGlReads = 0;
      for (const name of ["getParameter", "getError"]) {
        const read = WebGL2RenderingContext.prototype[name];
        WebGL2RenderingContext.prototype[name] = function (...args) {
          ++window.rigGlReads;
          return read.apply(this, args);
        };
      }
    });
    for (const [i, graph] of options.graphs.entries())
      await checkGraph(page, server.address().port, options, graph, i, scratch, failures);
  } finally {
    await closeAll({ lines: console_, browser, server, scratch });
  }
  return failures;
}

// The publish rig compares its pictures the same way.
module.exports = { comparePictures, writePng };

if (require.main === module) runMain(main);
