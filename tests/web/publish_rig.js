#!/usr/bin/env node
// The publish rig: publishes graphs with orvo-publish, opens each map from file:// in headless
// Chromium (offline, one browser for every page) and checks its first whole picture (of the map
// it carries, and for the first graph of its outline too) against
// `orvo-snapshot --gl modern` of the same graph, start view and size (labels off in both: the
// browser's fonts are not the desktop's). Then it checks the page's messages: a file cut short, a file altered (its
// stored bytes, or the map inside before it was packed: the message names what of the map is wrong), a browser
// without WebGL 2, memory refused, and the folder form opened from disk; and it serves the
// folder form from 127.0.0.1 and checks that it draws the same picture.
//
//   node publish_rig.js --module-dir DIR --publish PATH --snapshot PATH
//                       [--graph FILE [--goto ID] [--keys KEYS]]... [--generate NODES ...]...
//
// --goto and --keys apply to the graph named before it: the map starts at that node, with those
// view keys typed, and so does the picture it is checked against. Exit status 0 when every check holds, 1 when one fails, 77
// (skipped) when a piece is missing.
"use strict";

const { execFileSync } = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");
const url = require("url");
const zlib = require("zlib");
const {
  parseOptions, takeGraphOption, generateGraphs, runMain, closeAll, requirePieces, serve, launch,
  openPage, decodePng,
} = require("./browser");
const { comparePictures, writePng } = require("./view_rig");

// As the view rig: the mean channel difference at most kMeanDiff, and at most kDifferingShare of
// the drawn pixels differing by more than kShiftTolerance beyond a one-pixel shift.
const kMeanDiff = 1.0;
const kShiftTolerance = 16;
const kDifferingShare = 0.005;
const kWidth = 800, kHeight = 600;
// A guard against a page that never finishes, not a speed check.
const kPageTimeoutMs = 300000 * Number(process.env.ORVO_TEST_TIME_SCALE || 1);

function parseArguments(argv) {
  const options = parseOptions(argv, { graphs: [] }, {
    "--module-dir": "moduleDir", "--publish": "publish", "--snapshot": "snapshot", "--browser": "browser",
  }, (options, name, value) => takeGraphOption(options, name, value, ["--goto", "--keys"]));
  if (!options.moduleDir || !options.publish || !options.snapshot || !options.graphs.length)
    throw new Error("usage: publish_rig.js --module-dir DIR --publish PATH --snapshot PATH [--graph FILE [--goto ID] [--keys KEYS]]... [--generate NODES ...]...");
  return options;
}

function run(program, args) {
  return execFileSync(program, args, { encoding: "utf8", maxBuffer: 1 << 28, stdio: ["ignore", "pipe", "pipe"] });
}

// Opens the address, waits until the map is drawn or has failed, and returns what it says.
async function openMap(page, address) {
  await page.goto(address, { waitUntil: "domcontentloaded" });
  await page.waitForFunction("window.orvoMap && window.orvoMap.state !== 'loading'",
    { timeout: kPageTimeoutMs, polling: 100 });
  return page.evaluate(() => {
    const map = window.orvoMap;
    const shown = !document.getElementById("orvo-message").hidden;
    return {
      state: map.state,
      message: map.message,
      shown,
      shownText: document.getElementById("orvo-message").textContent,
      pixels: map.state === "drawn" ? (() => {
        const rows = map.view.pixels();
        let text = "";
        for (let i = 0; i < rows.length; i += 0x8000)
          text += String.fromCharCode.apply(null, rows.subarray(i, i + 0x8000));
        return btoa(text);
      })() : null,
    };
  });
}

// The page's picture against the desktop's PNG (decoded here by the browser itself).
async function checkPicture(page, label, got, wantPng, failures) {
  const a = await decodePng(page, wantPng, kWidth, kHeight);
  const b = new Uint8Array(Buffer.from(got, "base64"));
  const background = Array.from(a.subarray(0, 3)); // a corner lies outside the sphere
  const d = comparePictures(a, b, kWidth, kHeight, background, kShiftTolerance);
  const share = d.drawn ? d.differing / d.drawn : 1;
  console.log(`${label}: max ${d.maxDiff}, mean ${d.meanDiff.toFixed(3)} (allowed ${kMeanDiff}), ` +
    `${d.differing} of ${d.drawn} drawn pixels differ by more than ${kShiftTolerance} beyond a 1-pixel shift ` +
    `(${(100 * share).toFixed(3)} %, allowed ${100 * kDifferingShare} %)`);
  const agree = a.length === b.length && d.drawn > 0 && d.meanDiff <= kMeanDiff && share <= kDifferingShare;
  if (!agree || process.env.ORVO_WRITE_COMPARED) {
    const stem = path.join(os.tmpdir(), `orvo-publish-${label.replace(/[^\w.-]+/g, "-")}`);
    writePng(`${stem}.got.png`, kWidth, kHeight, b);
    fs.copyFileSync(wantPng, `${stem}.want.png`);
    console.log(`${label}: pictures written to ${stem}.{got,want}.png`);
  }
  if (!agree) failures.push(`${label}: the map's first picture differs from orvo-snapshot --gl modern`);
}

// The page fails with a message holding `expected` (a text, or every text of a list), shown on
// the page.
function expectMessage(label, result, expected, failures) {
  const texts = [].concat(expected);
  const ok = result.state === "failed" && result.shown &&
    texts.every((text) => result.message.includes(text) && result.shownText.includes(text));
  console.log(`${label}: ${result.state}: ${result.message || "(no message)"}`);
  if (!ok) failures.push(`${label}: the page should show "${texts.join('" and "')}", it is ${result.state}: "${result.message}"`);
}

// CRC-32 as gzip computes it (the page checks its pieces against it).
function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) {
    c ^= byte;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  }
  return (c ^ 0xffffffff) >>> 0;
}

// The single file with the packed map it carries changed by `change` (given the inflated pack,
// it returns the bytes to carry instead), compressed again with its sizes and checksum in the
// options made to match, so that only the pack's and the map's own checks can tell.
function withMapChanged(whole, change) {
  const text = whole.toString("latin1");
  const open = 'id="orvo-graph">';
  const start = text.indexOf(open) + open.length, end = text.indexOf("</script>", start);
  const pack = change(zlib.gunzipSync(Buffer.from(text.slice(start, end), "base64")));
  const packed = zlib.gzipSync(pack, { level: 9 });
  const head = text.slice(0, start).replace(/"graph":\{"bytes":\d+,"crc32":\d+/,
    `"graph":{"bytes":${packed.length},"crc32":${crc32(packed)}`)
    .replace(/"packBytes":\d+/, `"packBytes":${pack.length}`);
  return Buffer.from(head + packed.toString("base64") + text.slice(end), "latin1");
}

// Where a section of a packed map lies: after the pack's head, the sections back to back in the
// order of its entries (see the manual's "The page's packed map").
function packSection(pack, kind) {
  const count = pack.readUInt32LE(12);
  let offset = 16 + 32 * count;
  for (let i = 0; i < count; ++i) {
    const entry = 16 + 32 * i, size = Number(pack.readBigUInt64LE(entry + 8));
    if (pack.readUInt32LE(entry) === kind) return { offset, size };
    offset += size;
  }
  throw new Error(`the published map has no section of kind ${kind}`);
}

// A byte in the middle of a section of the map flipped.
const flipInSection = (kind) => (pack) => {
  const { offset, size } = packSection(pack, kind);
  const changed = Buffer.from(pack);
  changed[offset + Math.floor(size / 2)] ^= 0x5a;
  return changed;
};

// The ways a single file is altered, and what its message must say.
function alterations(whole) {
  const kNodes = 2, kLinks = 6;
  return [
    { label: "a graph byte altered", expected: ["This map file is damaged.", "graph it carries"],
      alter: () => {
        const altered = Buffer.from(whole);
        const at = altered.indexOf('id="orvo-graph">') + 'id="orvo-graph">'.length + 100;
        altered[at] = altered[at] === 0x41 ? 0x42 : 0x41; // another base64 digit
        return altered;
      } },
    { label: "the map's nodes altered before packing", expected: ["This map file is damaged.", "nodes section"],
      alter: () => withMapChanged(whole, flipInSection(kNodes)) },
    { label: "the map's links altered before packing", expected: ["This map file is damaged.", "links section"],
      alter: () => withMapChanged(whole, flipInSection(kLinks)) },
    { label: "the map cut short before packing", expected: ["This map file is damaged.", "cut short"],
      alter: () => withMapChanged(whole, (pack) => pack.subarray(0, pack.length - 1000)) },
    { label: "no map packed", expected: ["This map file is damaged.", "not a packed map"],
      alter: () => withMapChanged(whole, () => Buffer.from("1 a 0\n")) },
  ];
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const { puppeteer, browserPath } = requirePieces(options.moduleDir, options.browser);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-publish-rig-"));
  const failures = [];
  const lines = [];
  let browser, server;
  try {
    generateGraphs(options.graphs, path.join(path.dirname(options.publish), "orvo-gen"), scratch);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"), options.browser);
    console.log(`browser: ${await browser.version()}`);
    const page = await openPage(browser, lines);
    await page.setViewport({ width: kWidth, height: kHeight });

    let firstMap = null, folder = null;
    for (const [i, graph] of options.graphs.entries()) {
      const label = path.basename(graph.file) + (graph.goto ? ` at ${graph.goto}` : "") +
        (graph.keys ? `, keys ${graph.keys}` : "");
      const start = graph.goto ? ["--goto", graph.goto] : [];
      const keys = graph.keys || "";
      const map = path.join(scratch, `map-${i}.html`);
      run(options.publish, [graph.file, "-o", map, "--title", label, "--keys", `ll${keys}`, ...start]);
      const want = path.join(scratch, `want-${i}.png`);
      run(options.snapshot, ["--gl", "modern", "--size", `${kWidth}x${kHeight}`, "--keys", `ll${keys}`, "-o", want, ...start, graph.file]);
      const bytes = fs.statSync(map).size, gzip = execFileSync("gzip", ["-9c", graph.file], { maxBuffer: 1 << 30 }).length;
      console.log(`${label}: ${bytes} bytes, ${(bytes / gzip).toFixed(2)} times gzip -9 of the graph file`);
      const result = await openMap(page, url.pathToFileURL(map).href);
      if (result.state !== "drawn") {
        failures.push(`${label}: the map opened from file:// is ${result.state}: ${result.message}`);
        continue;
      }
      await checkPicture(page, `${label} from file://`, result.pixels, want, failures);
      if (!firstMap) {
        firstMap = { map, want, graph, start, label };
        folder = path.join(scratch, `folder-${i}`);
        run(options.publish, [graph.file, "--folder", folder, "--title", label, "--keys", `ll${keys}`, ...start]);
        // The outline a page carries with --outline (and from the viewer's Export Web Page), read
        // and laid out in the browser: the same picture.
        const outline = path.join(scratch, `outline-${i}.html`);
        run(options.publish, [graph.file, "-o", outline, "--outline", "--title", label, "--keys", `ll${keys}`, ...start]);
        const laidOut = await openMap(page, url.pathToFileURL(outline).href);
        if (laidOut.state !== "drawn") failures.push(`${label}: the outline opened from file:// is ${laidOut.state}: ${laidOut.message}`);
        else await checkPicture(page, `${label}, outline from file://`, laidOut.pixels, want, failures);
      }
    }
    if (!firstMap) throw new Error("no map was drawn to check the messages against");

    // A file cut short anywhere past its page, and one with a byte of its graph changed.
    const whole = fs.readFileSync(firstMap.map);
    const cut = path.join(scratch, "cut.html");
    // Through the program's script, its wasm, the graph, and the end marker.
    const cuts = {
      "the program's script": whole.indexOf('<script type="application/octet-stream" id="orvo-wasm">') - 2000,
      "the program": whole.indexOf('id="orvo-wasm">') + 1000,
      "the graph": Math.floor(whole.length / 2),
      "the end marker": whole.indexOf('id="orvo-end"') + 5,
    };
    for (const [where, at] of Object.entries(cuts)) {
      fs.writeFileSync(cut, whole.subarray(0, at));
      expectMessage(`cut in ${where}`, await openMap(page, url.pathToFileURL(cut).href),
        "This map file is incomplete.", failures);
    }
    // Cut in the page's own script: the note the page's head adds instead.
    fs.writeFileSync(cut, whole.subarray(0, whole.indexOf("class MapProblem")));
    await page.goto(url.pathToFileURL(cut).href, { waitUntil: "load" });
    const note = await page.evaluate(() => {
      const element = document.getElementById("orvo-cut");
      return element ? element.textContent : "";
    });
    console.log(`cut in the page's script: ${note || "(no note)"}`);
    if (!note.startsWith("This map file is incomplete"))
      failures.push("a file cut in the page's script shows no note that it is incomplete");
    // A file altered: a byte of what it stores, which its checksum catches; and the map inside
    // altered before it was packed (the file's own checksum matching), which the map's reader
    // catches and the message names.
    const alteredFile = path.join(scratch, "altered.html");
    for (const { label, alter, expected } of alterations(whole)) {
      fs.writeFileSync(alteredFile, alter());
      expectMessage(label, await openMap(page, url.pathToFileURL(alteredFile).href), expected, failures);
    }

    // The folder form: from disk it explains itself; from a server it draws the same picture.
    expectMessage("the folder form from file://",
      await openMap(page, url.pathToFileURL(path.join(folder, "index.html")).href),
      "This map must be opened from a web server.", failures);
    const files = {};
    for (const name of fs.readdirSync(folder))
      files[`/${name}`] = { path: path.join(folder, name), type: name.endsWith(".html") ? "text/html" : "application/octet-stream" };
    files["/"] = files["/index.html"];
    server = await serve(files);
    const served = await openMap(page, `http://127.0.0.1:${server.address().port}/`);
    if (served.state !== "drawn") failures.push(`the folder form served over HTTP is ${served.state}: ${served.message}`);
    else await checkPicture(page, `${firstMap.label}, folder over HTTP`, served.pixels, firstMap.want, failures);

    // A browser without WebGL 2, and one that refuses the program its memory, in a page of
    // their own.
    const limited = await openPage(browser, lines);
    await limited.setViewport({ width: kWidth, height: kHeight });
    await limited.evaluateOnNewDocument(() => {
      const getContext = HTMLCanvasElement.prototype.getContext;
      HTMLCanvasElement.prototype.getContext = function (type, ...rest) {
        return type === "webgl2" ? null : getContext.call(this, type, ...rest);
      };
    });
    expectMessage("no WebGL 2", await openMap(limited, url.pathToFileURL(firstMap.map).href),
      "This browser cannot draw the map.", failures);
    const starved = await openPage(browser, lines);
    await starved.evaluateOnNewDocument(() => {
      const refuse = () => Promise.reject(new RangeError("WebAssembly.instantiate(): Out of memory: Cannot allocate Wasm memory for new instance"));
      WebAssembly.instantiate = refuse;
      WebAssembly.instantiateStreaming = refuse;
    });
    expectMessage("memory refused", await openMap(starved, url.pathToFileURL(firstMap.map).href),
      "The browser refused the memory this map needs.", failures);
  } finally {
    await closeAll({ lines, browser, server, scratch });
  }
  return failures;
}

if (require.main === module) runMain(main);

module.exports = { openMap, checkPicture, run, kWidth, kHeight };
