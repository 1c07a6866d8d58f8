#!/usr/bin/env node
// The region rig: a published map above the page's region limit (set low through the page's
// address, so that a small generated site stands for a large map) is shown a region at a time.
// The same single file is opened whole (?regionAbove=0) and by regions, from file:// in headless
// Chromium, and checked: the picture at rest (the full region in place of the first) equals the
// whole map's within the view rig's tolerance (the map coloured by its second group kind, which
// a region put on view keeps); the status line counts the whole map; Find lists a node the first
// region lacks, and Enter flies there, the picture at rest again the whole map's after the same
// flight; a #node= link to another such node opens the page there. The nodes are taken near
// enough the top that the whole map's page flies to them without laying the tree out again from
// them, which a region never does (it keeps the map's layout, as the window does).
//
//   node region_rig.js --module-dir DIR --publish PATH --generate NODES
//                      --region-above N --region-nodes N --first-region-nodes N
//
// Exit status 0 when every check holds, 1 when one fails, 77 (skipped) when a piece is missing.
"use strict";

const fs = require("fs");
const os = require("os");
const path = require("path");
const url = require("url");
const {
  parseOptions, generateGraphs, runMain, closeAll, requirePieces, launch, openPage,
} = require("./browser");
const { comparePictures, writePng } = require("./view_rig");
const { run, kWidth, kHeight } = require("./publish_rig");

// As the view rig.
const kMeanDiff = 1.0;
const kShiftTolerance = 16;
const kDifferingShare = 0.005;
// A guard against a page that never finishes, not a speed check.
const kPageTimeoutMs = 300000 * Number(process.env.ORVO_TEST_TIME_SCALE || 1);

function parseArguments(argv) {
  const options = parseOptions(argv, { graphs: [] }, {
    "--module-dir": "moduleDir", "--publish": "publish", "--generate": "generate",
    "--region-above": "regionAbove", "--region-nodes": "regionNodes",
    "--first-region-nodes": "firstRegionNodes",
  });
  if (!options.moduleDir || !options.publish || !options.generate || !options.regionAbove ||
      !options.regionNodes || !options.firstRegionNodes)
    throw new Error("usage: region_rig.js --module-dir DIR --publish PATH --generate NODES --region-above N --region-nodes N --first-region-nodes N");
  return options;
}

// Opens the address and waits for its first whole picture, then until it is at rest. `first`
// tells the graph's node count at the first picture, and which of the `probed` ids it held.
async function openAtRest(page, address) {
  await page.goto(address, { waitUntil: "domcontentloaded" });
  await page.waitForFunction("window.orvoMap && window.orvoMap.state !== 'loading' && window.rigFirst",
    { timeout: kPageTimeoutMs, polling: 100 });
  const first = await page.evaluate(() => window.rigFirst);
  if (first.state !== "drawn") throw new Error(`${address} is ${first.state}: ${first.message}`);
  return { first, ...(await atRest(page)) };
}

// Before the page's scripts: once its first picture is drawn (before any region takes the first
// one's place), what the graph on view holds is noted in window.rigFirst.
function noteFirstPicture(probed) {
  let map;
  Object.defineProperty(window, "orvoMap", {
    configurable: true,
    get: () => map,
    set: (value) => {
      map = value;
      map.ready.then(() => {
        const m = map.module, h = map.view && map.view.handle;
        const held = (id) => {
          const size = id.length * 4 + 1, at = m._malloc(size);
          m.stringToUTF8(id, at, size);
          const text = m.UTF8ToString(m._orvo_view_describe(h, at));
          m._free(at);
          return text !== "";
        };
        window.rigFirst = map.state !== "drawn" ? { state: map.state, message: map.message } : {
          state: map.state, nodes: m._orvo_view_node_count(h), held: probed.filter(held),
        };
      });
    },
  });
}

// The page once at rest: its picture, its status counts, centre and fragment.
async function atRest(page) {
  await page.evaluate(() => window.orvoMap.view.rested());
  return page.evaluate(() => {
    const m = window.orvoMap.module, h = window.orvoMap.view.handle;
    const rows = window.orvoMap.view.pixels();
    let text = "";
    for (let i = 0; i < rows.length; i += 0x8000)
      text += String.fromCharCode.apply(null, rows.subarray(i, i + 0x8000));
    return {
      pixels: btoa(text),
      counts: m.UTF8ToString(m._orvo_view_counts(h)),
      centre: m.UTF8ToString(m._orvo_view_centre(h)),
      hash: location.hash,
      nodes: m._orvo_view_node_count(h),
      drawn: m._orvo_view_nodes_drawn(h),
    };
  }).then((state) => ({ ...state, pixels: Buffer.from(state.pixels, "base64") }));
}

// Whether the region on view holds the node (the module describes only the nodes it holds).
function holds(page, id) {
  return page.evaluate((id) => window.orvoMap.viewer.withText(id, (at) =>
    window.orvoMap.module.UTF8ToString(window.orvoMap.module._orvo_view_describe(window.orvoMap.view.handle, at))) !== "", id);
}

function samePicture(label, want, got, failures) {
  const a = new Uint8Array(want), b = new Uint8Array(got);
  const background = Array.from(a.subarray(0, 3)); // a corner lies outside the sphere
  const d = comparePictures(a, b, kWidth, kHeight, background, kShiftTolerance);
  const share = d.drawn ? d.differing / d.drawn : 1;
  console.log(`${label}: max ${d.maxDiff}, mean ${d.meanDiff.toFixed(3)} (allowed ${kMeanDiff}), ` +
    `${d.differing} of ${d.drawn} drawn pixels differ by more than ${kShiftTolerance} beyond a 1-pixel shift ` +
    `(${(100 * share).toFixed(3)} %, allowed ${100 * kDifferingShare} %)`);
  const agree = a.length === b.length && d.drawn > 0 && d.meanDiff <= kMeanDiff && share <= kDifferingShare;
  if (!agree || process.env.ORVO_WRITE_COMPARED) {
    const stem = path.join(os.tmpdir(), `orvo-region-${label.replace(/[^\w.-]+/g, "-")}`);
    writePng(`${stem}.whole.png`, kWidth, kHeight, a);
    writePng(`${stem}.regions.png`, kWidth, kHeight, b);
    console.log(`${label}: pictures written to ${stem}.{whole,regions}.png`);
  }
  if (!agree) failures.push(`${label}: the picture by regions differs from the whole map's`);
}

// Types the text into the search box; Enter flies to the best match.
async function find(page, text) {
  await page.click("#orvo-search");
  await page.keyboard.type(text);
  const listed = await page.$$eval("#orvo-matches li[data-id]", (items) => items.map((i) => i.dataset.id));
  await page.keyboard.press("Enter");
  return listed;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const { puppeteer, browserPath } = requirePieces(options.moduleDir);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-region-rig-"));
  const failures = [];
  const lines = [];
  let browser;
  try {
    const graph = { generate: Number(options.generate) };
    generateGraphs([graph], path.join(path.dirname(options.publish), "orvo-gen"), scratch);
    const map = path.join(scratch, "map.html");
    run(options.publish, [graph.file, "-o", map, "--keys", "llg"]);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"));
    const page = await openPage(browser, lines);
    await page.setViewport({ width: kWidth, height: kHeight });
    const address = url.pathToFileURL(map).href;
    const byRegions = `${address}?regionAbove=${options.regionAbove}&regionNodes=${options.regionNodes}` +
      `&firstRegionNodes=${options.firstRegionNodes}`;

    // Nodes two steps down, from the last: a small first region lacks some, and they are near
    // enough the top for the whole map's page to fly there without laying the tree out again.
    const probed = [...new Set(fs.readFileSync(graph.file, "utf8").split("\n")
      .filter((line) => line.startsWith("  2 ")).map((line) => line.trim().split(/\s+/)[1]))].reverse();
    await page.evaluateOnNewDocument(noteFirstPicture, probed);

    // At rest, whole and by regions.
    const whole = await openAtRest(page, `${address}?regionAbove=0`);
    const parts = await openAtRest(page, byRegions);
    console.log(`whole: ${whole.counts}, ${whole.drawn} nodes drawn at rest`);
    console.log(`by regions: first region of ${parts.first.nodes} nodes; at rest ${parts.counts}, ` +
      `${parts.drawn} nodes drawn`);
    if (whole.nodes !== graph.generate) failures.push(`the whole map holds ${whole.nodes} nodes, not ${graph.generate}`);
    if (!(parts.first.nodes <= 2 * Number(options.firstRegionNodes) && parts.first.nodes < parts.nodes &&
          parts.nodes < graph.generate))
      failures.push(`the regions hold ${parts.first.nodes} then ${parts.nodes} nodes: not a small first region, then a larger part of the map`);
    samePicture("at rest", whole.pixels, parts.pixels, failures);
    // "60 000 nodes, 73 000 links" of the whole map in both; the region's own count after.
    const mapCounts = whole.counts.replace(/ \(.*$/, "");
    if (!parts.counts.startsWith(`${mapCounts} (`) || !parts.counts.includes(`${parts.nodes.toLocaleString("en").replace(/,/g, " ")} nodes around the view in memory`))
      failures.push(`by regions the status counts "${parts.counts}", not the whole map's "${mapCounts}" and the region's ${parts.nodes} nodes`);

    // Find reaches nodes the first region lacks.
    const outside = probed.filter((id) => !parts.first.held.includes(id));
    console.log(`${outside.length} of ${probed.length} nodes two steps down lie outside the first region`);
    if (outside.length < 2) throw new Error("every node tried is in the first region: its limit is too large for the rig");
    const [target, linked] = outside;
    const listed = await find(page, target);
    const found = await atRest(page);
    console.log(`find ${target}: lists ${listed[0]} first; at rest centred on ${found.centre}, ${found.counts}`);
    if (listed[0] !== target) failures.push(`Find lists ${listed[0]} first for ${target}, a node outside the region`);
    if (found.centre !== target || !(await holds(page, target)))
      failures.push(`Enter on ${target} (outside the region) centred ${found.centre}`);
    if (!found.counts.startsWith(`${mapCounts} (`)) failures.push(`after Find the status counts "${found.counts}"`);
    // The same flight on the whole map ends in the same picture.
    await openAtRest(page, `${address}?regionAbove=0`);
    await find(page, target);
    const wholeFound = await atRest(page);
    samePicture(`after Find ${target}`, wholeFound.pixels, found.pixels, failures);

    // A #node= link to a node outside the first region opens the page there.
    const linkedAt = await openAtRest(page, `${byRegions}#node=${encodeURIComponent(linked)}`);
    console.log(`#node=${linked}: centred on ${linkedAt.centre}`);
    if (linkedAt.centre !== linked) failures.push(`#node=${linked} (outside the first region) centred ${linkedAt.centre}`);
  } finally {
    await closeAll({ lines, browser, scratch });
  }
  return failures;
}

if (require.main === module) runMain(main);
