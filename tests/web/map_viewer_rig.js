#!/usr/bin/env node
// The map viewer rig: publishes graphs with orvo-publish and uses each map from file:// in
// headless Chromium (one browser for every page) as a person would, checking each step against
// the desktop's tools on the same graph and view:
//   labels   the page draws labels with the browser's fonts: its label boxes against
//            orvo-snapshot --gl modern --report (same ids in the same order, the boxes' widths
//            differing only as far as the fonts' widths do, stated)
//   keys     the view has the keyboard when the map opens: "l" twice, typed before any click,
//            changes the picture as it changes the desktop's
//   hover    the pointer on a node's cube names it (its id and groups) in the status line; a
//            pointer coming to rest on it after one, two or three motions too, whichever of them
//            the viewer took
//   click    a click on it moves the fragment to #node=ID and flies there: the picture as
//            orvo-snapshot --goto ID draws it
//   search   typing part of an id, then Enter, flies to the best match and moves the fragment
//   back     the browser's Back returns to the node before, fragment and centre
//   address  a double click on a node whose id is a web address opens it in a new tab
//   link     opening map.html#node=ID starts at that node (the desktop's --goto picture); an
//            unknown id opens at the start view with a note
//   turn     right drag, Shift+drag and two fingers turn alike about the centre; a left drag moves
//   legend   a click on a group of the legend hides its nodes (drawn as dots, no cube) and a
//            second click shows them again; the arrow beside its count visits its nodes
//
//   node map_viewer_rig.js --module-dir DIR --publish PATH --snapshot PATH
//                          [--graph FILE --search TEXT --expect ID]...
//                          [--generate NODES --search TEXT --expect ID]...
//
// --search and --expect apply to the graph named before them: the text typed into the search
// box and the id of the best match, which Enter flies to.
//
// Exit status 0 when every check holds, 1 when one fails, 77 (skipped) when a piece is missing.
"use strict";

const fs = require("fs");
const os = require("os");
const path = require("path");
const url = require("url");
const {
  parseOptions, takeGraphOption, generateGraphs, runMain, closeAll, requirePieces, launch, openPage,
  decodePng, afterMotions, moveMouse,
} = require("./browser");
const { comparePictures, writePng } = require("./view_rig");
const { run, kWidth, kHeight } = require("./publish_rig");

// Pictures as the other rigs hold them: the mean channel difference at most kMeanDiff, and at
// most kDifferingShare of the drawn pixels differing by more than kShiftTolerance beyond a
// one-pixel shift. After a click the selected node's yellow ring (which orvo-snapshot --goto
// does not draw) and the flight's last rounding may differ: kFlownShare allows for that (1.65 %
// measured on the bundled example). The generated site's views have clusters of sub-pixel nodes
// on the rim, where the browser's last-bit differences move pixels (up to 1.27 % of the drawn
// ones measured): kCrowdedShare instead of kDifferingShare there.
const kMeanDiff = 1.0;
const kShiftTolerance = 16;
const kDifferingShare = 0.005;
const kFlownShare = 0.02;
const kCrowdedShare = 0.02;
// Label boxes: the same labels in the same order, each box's corners within kLabelPixels of the
// desktop's (FreeType's hinted advances and the browser's rounded ones may differ by a pixel a
// glyph); the share of boxes placed exactly is reported.
const kLabelPixels = 8; // 2 px measured on the bundled example, 5 on the generated site
const kPageTimeoutMs = 300000 * Number(process.env.ORVO_TEST_TIME_SCALE || 1);

function parseArguments(argv) {
  const options = parseOptions(argv, { graphs: [] }, {
    "--module-dir": "moduleDir", "--publish": "publish", "--snapshot": "snapshot", "--browser": "browser",
  }, (options, name, value) => takeGraphOption(options, name, value, ["--search", "--expect"]));
  if (!options.moduleDir || !options.publish || !options.snapshot || !options.graphs.length ||
      options.graphs.some((g) => !g.search || !g.expect))
    throw new Error("usage: map_viewer_rig.js --module-dir DIR --publish PATH --snapshot PATH [--graph FILE --search TEXT --expect ID]... [--generate NODES --search TEXT --expect ID]...");
  return options;
}

// The report's lines as {kind, id, box: [x0, y0, x1, y1]} (an id may hold quoted commas).
function parseReport(csv) {
  const items = [];
  for (const line of csv.split("\n").slice(1)) {
    if (!line) continue;
    const fields = line.split(",");
    const box = fields.slice(-4).map(Number);
    let id = fields.slice(1, -4).join(",");
    if (id.startsWith('"')) id = id.slice(1, -1).replace(/""/g, '"');
    items.push({ kind: fields[0], id, box });
  }
  return items;
}

// Waits until the map's frame is drawn in full.
async function settle(page) {
  await page.evaluate(() => window.orvoMap.view.settled());
}

async function state(page) {
  return page.evaluate(() => {
    const m = window.orvoMap.module, h = window.orvoMap.view.handle;
    const rows = window.orvoMap.view.pixels();
    let text = "";
    for (let i = 0; i < rows.length; i += 0x8000)
      text += String.fromCharCode.apply(null, rows.subarray(i, i + 0x8000));
    return {
      hash: location.hash,
      centre: m.UTF8ToString(m._orvo_view_centre(h)),
      status: document.getElementById("orvo-status").textContent,
      report: m.UTF8ToString(m._orvo_view_report(h)),
      pixels: btoa(text),
    };
  });
}

// Opens the map afresh (another fragment alone would not load the page again).
async function openMap(page, address) {
  await page.goto("about:blank");
  await page.goto(address, { waitUntil: "domcontentloaded" });
  await page.waitForFunction("window.orvoMap && window.orvoMap.state !== 'loading'",
    { timeout: kPageTimeoutMs, polling: 100 });
  const result = await page.evaluate(() => ({ state: window.orvoMap.state, message: window.orvoMap.message }));
  if (result.state !== "drawn") throw new Error(`the map is ${result.state}: ${result.message}`);
}

// The page's picture against the desktop's; true when they agree within the share allowed.
async function samePicture(page, label, gotBase64, wantPng, share, failures) {
  const want = await decodePng(page, wantPng, kWidth, kHeight);
  const got = new Uint8Array(Buffer.from(gotBase64, "base64"));
  const background = Array.from(want.subarray(0, 3));
  const d = comparePictures(want, got, kWidth, kHeight, background, kShiftTolerance);
  const differing = d.drawn ? d.differing / d.drawn : 1;
  console.log(`${label}: mean ${d.meanDiff.toFixed(3)} (allowed ${kMeanDiff}), ${(100 * differing).toFixed(3)} % ` +
    `of ${d.drawn} drawn pixels differ beyond a 1-pixel shift (allowed ${100 * share} %)`);
  const agree = d.drawn > 0 && d.meanDiff <= kMeanDiff && differing <= share;
  if (!agree || process.env.ORVO_WRITE_COMPARED) {
    const stem = path.join(os.tmpdir(), `orvo-map-viewer-${label.replace(/[^\w.-]+/g, "-")}`);
    writePng(`${stem}.got.png`, kWidth, kHeight, got);
    fs.copyFileSync(wantPng, `${stem}.want.png`);
    console.log(`${label}: pictures written to ${stem}.{got,want}.png`);
  }
  if (!agree) failures.push(`${label}: the page's picture differs from the desktop's`);
  return agree;
}

// The largest node cube drawn wholly inside the picture that is not the centre node's.
function cubeToPointAt(items, centre) {
  let best = null;
  for (const item of items) {
    if (item.kind !== "node" || item.id === centre) continue;
    const [x0, y0, x1, y1] = item.box;
    if (!(x0 >= 20 && y0 >= 40 && x1 < kWidth - 20 && y1 < kHeight - 40 && x1 - x0 >= 5)) continue;
    const area = (x1 - x0) * (y1 - y0);
    if (!best || area > best.area) best = { id: item.id, area, x: Math.round((x0 + x1) / 2), y: Math.round((y0 + y1) / 2) };
  }
  return best;
}

// The label boxes of the page's report against the desktop's, for the same view.
function compareLabels(label, pageCsv, desktopCsv, failures) {
  const mine = parseReport(pageCsv).filter((i) => i.kind === "label");
  const theirs = parseReport(desktopCsv).filter((i) => i.kind === "label");
  let exact = 0, worst = 0, sameIds = 0;
  const n = Math.min(mine.length, theirs.length);
  for (let i = 0; i < n; ++i) {
    if (mine[i].id !== theirs[i].id) continue;
    ++sameIds;
    const off = Math.max(...mine[i].box.map((v, k) => Math.abs(v - theirs[i].box[k])));
    worst = Math.max(worst, off);
    if (off === 0) ++exact;
  }
  console.log(`${label}: the page draws ${mine.length} labels, the desktop ${theirs.length}; ${sameIds} ` +
    `the same in the same place of the order, ${exact} of them in exactly the same box, the worst ${worst} px off`);
  if (mine.length === 0) failures.push(`${label}: the page draws no label`);
  // Where the widths differ a label may be left out on one side and kept on the other: the
  // first labels (the nearest, largest nodes, placed before any could collide) must agree.
  const first = Math.min(10, theirs.length);
  for (let i = 0; i < first; ++i) {
    if (!mine[i] || mine[i].id !== theirs[i].id) {
      failures.push(`${label}: label ${i + 1} is ${mine[i] ? mine[i].id : "missing"} in the page, ${theirs[i].id} on the desktop`);
      return;
    }
  }
  if (worst > kLabelPixels) failures.push(`${label}: a label box lies ${worst} px from the desktop's (allowed ${kLabelPixels})`);
}

// Whether two states show the same view: every cube both frames drew lies in the same box in
// each, and they have at least kSameViewCubes cubes in common. (How far a large graph's frame
// gets within its time depends on how busy the machine is: the cubes are matched by id, not by
// their place in the drawing order.) Says how they differ, or "" when they do not.
const kSameViewCubes = 20;
// Under load the browser may merge two motions into one; the turn they make together then
// differs from two turns by rounding, a tenth of a pixel, where a wrong turn moves cubes by tens.
const kSameViewPx = 0.5;
function viewDifference(a, b) {
  const cubesOf = (report) => parseReport(report).filter((i) => i.kind === "node");
  const boxes = new Map(cubesOf(a.report).map((i) => [i.id, i.box]));
  let common = 0;
  for (const { id, box } of cubesOf(b.report)) {
    const other = boxes.get(id);
    if (!other) continue;
    if (box.some((v, k) => Math.abs(v - other[k]) > kSameViewPx)) return `${id} lies at ${box}, not at ${other}`;
    ++common;
  }
  return common < kSameViewCubes ? `only ${common} cubes in common` : "";
}

// A drag across the view, the same path each way: the mouse with the right button, with Shift
// and the left one, or the left one alone; or two fingers whose midpoint takes the path. Each
// step waits until the page has had it, so that every way turns by the same steps.
const kDragFrom = [300, 250], kDragBy = [120, 60], kDragSteps = 12;
async function drag(page, way) {
  const [x, y] = kDragFrom, [dx, dy] = kDragBy;
  const along = (i, side = 0) => [x + side + (dx * i) / kDragSteps, y + (dy * i) / kDragSteps];
  const step = async (motions, send) => {
    if (!(await afterMotions(page, motions, send)))
      throw new Error(`the page never had a pointer motion of a ${way}`);
    await page.evaluate(() => new Promise((resolve) => setTimeout(resolve, 0)));
  };
  if (way === "two fingers" && page.browser().protocol === "webDriverBiDi") {
    // Without the DevTools protocol each finger moves in an event of its own: the midpoint
    // steps half way, then the rest.
    const fingers = [];
    for (const side of [-30, 30]) fingers.push(await page.touchscreen.touchStart(...along(0, side)));
    for (let i = 1; i <= kDragSteps; ++i)
      for (const [n, side] of [-30, 30].entries()) await step(1, () => fingers[n].move(...along(i, side)));
    for (const finger of fingers) await finger.end();
    return;
  }
  if (way === "two fingers") {
    const cdp = await page.createCDPSession();
    const points = (i) => [-30, 30].map((side, id) => {
      const [px, py] = along(i, side);
      return { x: px, y: py, id };
    });
    await cdp.send("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: points(0) });
    // One touch event moves both fingers; the page takes their midpoint once both are in.
    for (let i = 1; i <= kDragSteps; ++i)
      await step(2, () => cdp.send("Input.dispatchTouchEvent", { type: "touchMove", touchPoints: points(i) }));
    await cdp.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
    await cdp.detach();
    return;
  }
  const button = way === "right drag" ? "right" : "left";
  await moveMouse(page, ...along(0));
  if (way === "Shift+drag") await page.keyboard.down("Shift");
  await page.mouse.down({ button });
  for (let i = 1; i <= kDragSteps; ++i) await step(1, () => page.mouse.move(...along(i)));
  await page.mouse.up({ button });
  if (way === "Shift+drag") await page.keyboard.up("Shift");
}

async function checkMap(page, options, graph, index, scratch, failures) {
  const name = path.basename(graph.file);
  const map = path.join(scratch, `map-${index}.html`);
  run(options.publish, [graph.file, "-o", map, "--title", name]);
  const address = url.pathToFileURL(map).href;
  const snapshot = (file, args) =>
    run(options.snapshot, ["--gl", "modern", "--size", `${kWidth}x${kHeight}`, ...args, file === null ? [] : ["-o", file], graph.file].flat());

  // Labels with the browser's fonts, against the desktop's draw report of the same view.
  await openMap(page, address);
  let now = await state(page);
  const desktopReport = path.join(scratch, `report-${index}.csv`);
  snapshot(null, ["--report", desktopReport]);
  compareLabels(`${name} labels`, now.report, fs.readFileSync(desktopReport, "utf8"), failures);
  const withLabels = now.pixels;

  // On a screen of twice the density the canvas has twice the pixels each way, and the labels'
  // text is drawn twice as tall: as large to the eye.
  if (index === 0) {
    const heights = (report) => parseReport(report).filter((i) => i.kind === "label").map((i) => i.box[3] - i.box[1]);
    const median = (values) => values.sort((a, b) => a - b)[values.length >> 1];
    await page.setViewport({ width: kWidth, height: kHeight, deviceScaleFactor: 2 });
    await openMap(page, address);
    const dense = await page.evaluate(() => window.orvoMap.module.UTF8ToString(
      window.orvoMap.module._orvo_view_report(window.orvoMap.view.handle)));
    await page.setViewport({ width: kWidth, height: kHeight, deviceScaleFactor: 1 });
    await openMap(page, address);
    const [one, two] = [median(heights(now.report)), median(heights(dense))];
    console.log(`${name}: label boxes ${one} px tall at one device pixel a CSS pixel, ${two} px at two`);
    if (!(two >= 1.7 * one && two <= 2.3 * one))
      failures.push(`${name}: on a screen of twice the density labels are ${two} px tall, not about twice ${one}`);
  }

  // A key: "l" twice turns the labels off, as on the desktop, typed before any click: the view
  // has the keyboard from the start.
  const focused = await page.evaluate(() => document.activeElement && document.activeElement.id);
  if (focused !== "orvo-view") failures.push(`${name}: the view does not have the keyboard when the map opens (${focused || "nothing"} has it)`);
  await page.keyboard.press("l");
  await page.keyboard.press("l");
  await settle(page);
  now = await state(page);
  const startWant = path.join(scratch, `start-${index}.png`);
  snapshot(startWant, ["--keys", "ll"]);
  if (now.pixels === withLabels) failures.push(`${name}: "l" twice left the picture as it was`);
  const share = graph.generate ? kCrowdedShare : kDifferingShare;
  await samePicture(page, `${name} labels off`, now.pixels, startWant, share, failures);

  // Search, then Enter, flies to the best match and moves the fragment.
  const bestId = graph.expect, bestHash = `#node=${encodeURIComponent(bestId)}`;
  const search = async () => {
    const before = now.hash;
    await page.click("#orvo-search");
    await page.keyboard.type(graph.search);
    const listed = await page.$$eval("#orvo-matches li[data-id]", (items) => items.map((i) => i.dataset.id));
    await page.keyboard.press("Enter");
    await settle(page);
    now = await state(page);
    console.log(`${name}: "${graph.search}" lists ${listed.length} matches, first ${listed[0]}; Enter centres ${now.centre} at ${now.hash}`);
    if (listed[0] !== bestId) failures.push(`${name}: the search box lists ${listed[0]} first, the best match is ${bestId}`);
    if (now.centre !== bestId || now.hash !== bestHash)
      failures.push(`${name}: Enter after "${graph.search}" centred ${now.centre} at ${now.hash}, not ${bestId}`);
    if (before === bestHash) failures.push(`${name}: the fragment named the node searched for before the search`);
    if (!now.status.includes(bestId)) failures.push(`${name}: after the search's flight the status line says "${now.status}"`);
  };

  // The click is made from the start view where a node's cube is there to click: the flight
  // then ends as orvo-snapshot --goto draws the node. Where there is none (the generated site's
  // nodes lie on the rim, under 3 pixels), it is made from the node searched for, whose flight
  // ends turned otherwise: the node must then lie at the centre, and the link below compares
  // the picture.
  let target = cubeToPointAt(parseReport(now.report), now.centre);
  const fromStart = target !== null;
  if (!fromStart) {
    await search();
    target = cubeToPointAt(parseReport(now.report), now.centre);
  }
  if (!target) {
    failures.push(`${name}: no node cube to point at`);
    return;
  }

  // Hover names the node in the status line.
  // The last motions land on whole pixels, each another (a browser may drop a motion to where
  // the pointer is), the last on the cube.
  for (const off of [6, 4, 2, 1, 0]) await moveMouse(page, target.x + off, target.y);
  now = await state(page);
  console.log(`${name}: pointer on ${target.id} at ${target.x},${target.y}: status "${now.status}"`);
  if (!now.status.includes(target.id)) failures.push(`${name}: the status line does not name ${target.id} under the pointer: "${now.status}"`);

  // A pointer coming to rest on the cube names it, whatever the number of motions that brought
  // it there: the viewer takes every third motion of a moving pointer, and picks the one it left
  // out once the pointer rests. Each arrival starts from an empty corner, rested on, by a number
  // of motions that changes from one to the next, so that every arrival's last motion is in turn
  // one the viewer takes and one it leaves out.
  const corner = [kWidth - 8, kHeight - 40];
  const named = (id) => page.waitForFunction((wanted) =>
    document.getElementById("orvo-status").textContent.includes(wanted) && window.orvoMap.view.hovered === wanted,
  { timeout: 3000, polling: 50 }, id).then(() => true, () => false);
  const unnamed = (id) => page.waitForFunction((wanted) => !window.orvoMap.view.hovered.includes(wanted),
    { timeout: 3000, polling: 50 }, id).then(() => true, () => false);
  const missed = [];
  for (const motions of [1, 2, 3]) {
    for (const lead of [3, 4, 5]) {
      for (let i = 0; i < lead; ++i) await moveMouse(page, corner[0] - i, corner[1]);
      if (!(await unnamed(target.id))) {
        failures.push(`${name}: the pointer resting on an empty corner still names ${target.id}`);
        break;
      }
      for (let i = motions - 1; i >= 0; --i) await moveMouse(page, target.x + i, target.y);
      if (!(await named(target.id))) missed.push(`${motions} after ${lead}`);
    }
  }
  console.log(`${name}: the pointer resting on ${target.id} after 1, 2 and 3 motions (each after 3, 4 and 5 in the corner): ` +
    `named ${9 - missed.length} of 9`);
  if (missed.length) failures.push(`${name}: a pointer resting on ${target.id} is not named after ${missed.join(", ")} motions`);

  // A click moves the fragment and flies there.
  const beforeClick = now.pixels;
  await page.mouse.click(target.x, target.y);
  await settle(page);
  // The pointer leaves the node (which it highlights) for an empty corner of the view, a few
  // motions as the viewer takes every third.
  for (const within of [0, 1, 2, 3]) await moveMouse(page, kWidth - 8 - within, kHeight - 40);
  await settle(page);
  now = await state(page);
  const clickedHash = `#node=${encodeURIComponent(target.id)}`;
  const cube = parseReport(now.report).find((i) => i.kind === "node" && i.id === target.id);
  const [cx, cy] = cube ? [(cube.box[0] + cube.box[2]) / 2, (cube.box[1] + cube.box[3]) / 2] : [NaN, NaN];
  console.log(`${name}: after the click the fragment is ${now.hash}, the centre ${now.centre}, its cube about ${cx},${cy}`);
  if (now.hash !== clickedHash) failures.push(`${name}: a click on ${target.id} left the fragment at ${now.hash}`);
  if (now.centre !== target.id) failures.push(`${name}: a click on ${target.id} centred ${now.centre}`);
  if (!(Math.abs(cx - kWidth / 2) <= 2 && Math.abs(cy - kHeight / 2) <= 2))
    failures.push(`${name}: after the click ${target.id}'s cube lies about ${cx},${cy}, not at the centre`);
  if (now.pixels === beforeClick) failures.push(`${name}: the click left the picture as it was`);
  const gotoWant = path.join(scratch, `goto-${index}.png`);
  snapshot(gotoWant, ["--keys", "ll", "--goto", target.id]);
  if (fromStart) {
    await samePicture(page, `${name} clicked ${target.id}`, now.pixels, gotoWant, kFlownShare, failures);
    await search();
  }

  // Back returns to the node before, fragment and centre.
  const [backId, backHash] = fromStart ? [target.id, clickedHash] : [bestId, bestHash];
  await page.goBack();
  await settle(page);
  now = await state(page);
  console.log(`${name}: Back: fragment ${now.hash}, centre ${now.centre}`);
  if (now.hash !== backHash || now.centre !== backId)
    failures.push(`${name}: Back went to ${now.centre} at ${now.hash}, not ${backId}`);

  // A double click on the centre node, a web address, opens it in a new tab.
  if (/^https?:\/\//.test(now.centre)) {
    // The address opens in a tab of its own; offline, its load fails (Firefox then shows its
    // error page, the address in its query).
    const opens = (address) => address === now.centre || (address.startsWith("about:neterror?") &&
      new URLSearchParams(address.slice(address.indexOf("?"))).get("u") === now.centre);
    const opened = page.browser().waitForTarget((t) => opens(t.url()), { timeout: 20000 }).catch(() => null);
    for (const off of [2, 1, 0]) await moveMouse(page, kWidth / 2 + off, kHeight / 2);
    // Both clicks in one input sequence: a browser that times the second from its own clock
    // (Firefox) takes them as one double click only so.
    await page.mouse.click(kWidth / 2, kHeight / 2, { count: 2 });
    const tab = await opened;
    console.log(`${name}: a double click on ${now.centre} opens ${tab ? tab.url() : "nothing"}`);
    if (!tab) failures.push(`${name}: a double click on ${now.centre} opened no tab`);
    else {
      const other = await tab.page();
      if (other) await other.close();
      // A page in a tab behind draws no frames.
      await page.bringToFront();
    }
  }

  // A link to the node clicked opens there; an unknown one at the start view, with a note.
  await openMap(page, `${address}${clickedHash}`);
  await page.focus("#orvo-view");
  await page.keyboard.press("l");
  await page.keyboard.press("l");
  await settle(page);
  now = await state(page);
  const startedAt = await page.evaluate(() => window.orvoMap.viewer.startNode);
  if (startedAt !== target.id || now.centre !== target.id) failures.push(`${name}: ${clickedHash} opened at ${now.centre}`);
  await samePicture(page, `${name} opened at ${clickedHash}`, now.pixels, gotoWant, share, failures);
  await openMap(page, `${address}#node=${encodeURIComponent("no such node \u00e9")}`);
  const unknown = await page.evaluate(() => ({
    note: document.getElementById("orvo-note").hidden ? "" : document.getElementById("orvo-note").textContent,
    startNode: window.orvoMap.viewer.startNode,
  }));
  console.log(`${name}: an unknown id: "${unknown.note}"`);
  if (!unknown.note.includes("No node of this map has the id “no such node \u00e9”") || unknown.startNode !== "")
    failures.push(`${name}: an unknown id in the fragment gives no note`);

  // Turning: right drag, Shift+drag and two fingers along the same path give the same view, keep
  // the node at the centre and change the picture; a left drag moves (another view).
  const turns = {};
  for (const way of ["right drag", "Shift+drag", "two fingers", "left drag"]) {
    await openMap(page, address);
    await settle(page);
    const start = await state(page);
    await drag(page, way);
    await settle(page);
    turns[way] = await state(page);
    const t = turns[way];
    console.log(`${name}: ${way}: centre ${start.centre} -> ${t.centre}, picture ${t.pixels === start.pixels ? "unchanged" : "changed"}`);
    if (t.pixels === start.pixels) failures.push(`${name}: a ${way} left the picture as it was`);
    if (way !== "left drag" && t.centre !== start.centre) failures.push(`${name}: a ${way} moved the centre to ${t.centre}`);
  }
  // A long left drag moves another node to the centre: the address follows it without a new
  // history entry.
  {
    const before = await state(page);
    const entries = await page.evaluate(() => history.length);
    // Both graphs hang their top node's children to its right: the drag pulls them in.
    await page.mouse.move(kWidth - 200, kHeight / 2);
    await page.mouse.down();
    await page.mouse.move(200, kHeight / 2, { steps: 20 });
    await page.mouse.up();
    await settle(page);
    await page.waitForFunction((hash) => location.hash !== hash, { timeout: 10000 }, before.hash).catch(() => {});
    const moved = await state(page);
    const after = await page.evaluate(() => history.length);
    console.log(`${name}: a long left drag: centre ${before.centre} -> ${moved.centre}, fragment ${moved.hash}, history ${entries} -> ${after}`);
    if (moved.centre === before.centre) failures.push(`${name}: a long left drag left ${before.centre} at the centre`);
    else if (moved.hash !== `#node=${encodeURIComponent(moved.centre)}` || after !== entries)
      failures.push(`${name}: after a drag the fragment is ${moved.hash} (history ${entries} -> ${after}), not the centre ${moved.centre} in place`);
  }
  // (Without the DevTools protocol the fingers move one at a time, not as a touch screen moves
  // them, and their midpoint takes another path: there two fingers are held only to turn.)
  const bidi = page.browser().protocol === "webDriverBiDi";
  for (const way of bidi ? ["Shift+drag"] : ["Shift+drag", "two fingers"]) {
    const difference = viewDifference(turns[way], turns["right drag"]);
    if (difference) failures.push(`${name}: a ${way} turns otherwise than a right drag: ${difference}`);
  }
  if (!viewDifference(turns["left drag"], turns["right drag"])) failures.push(`${name}: a left drag turns as a right drag does`);

  // The legend: a click hides a group (its nodes only dots), a second shows it again.
  await page.evaluate(() => window.orvoMap.viewer.showLegend(true));
  const rows = await page.$$eval("#orvo-legend button.orvo-legend-row", (items) => items.map((i) => i.dataset.group));
  const groupsOfIds = (ids) => page.evaluate((ids) => {
    const m = window.orvoMap.module, h = window.orvoMap.view.handle, viewer = window.orvoMap.viewer;
    return ids.map((id) => viewer.withText(id, (at) => m.UTF8ToString(m._orvo_view_describe(h, at))).split("\t")[1] || "");
  }, ids);
  const groupsOf = (report) => groupsOfIds(parseReport(report).filter((i) => i.kind === "node").map((i) => i.id));
  await settle(page);
  const before = await state(page);
  const beforeGroups = await groupsOf(before.report);
  const hasGroup = (groups, group) => groups.some((g) => g.split(", ").includes(group));
  // A group the centre node is not in: the centre stays on view whatever is hidden.
  const [centreGroups] = await groupsOfIds([before.centre]);
  const group = rows.find((g) => hasGroup(beforeGroups, g) && !hasGroup([centreGroups], g));
  if (!group) {
    failures.push(`${name}: no legend group has a node on view`);
    return;
  }
  await page.click(`#orvo-legend button.orvo-legend-row[data-group="${group}"]`);
  await settle(page);
  const hidden = await state(page);
  const hiddenGroups = await groupsOf(hidden.report);
  const marked = await page.$eval(`#orvo-legend button.orvo-legend-row[data-group="${group}"]`, (b) => b.classList.contains("orvo-hidden"));
  console.log(`${name}: legend click on ${group}: ${beforeGroups.length} cubes drawn before, ${hiddenGroups.length} after; marked hidden: ${marked}`);
  if (hasGroup(hiddenGroups, group) || !marked || hidden.pixels === before.pixels)
    failures.push(`${name}: a click on the legend's ${group} did not hide it`);
  // Its nodes give way to dots; what hangs below them stays.
  const dots = parseReport(hidden.report).filter((i) => i.kind === "dot").map((i) => i.id);
  if (!hasGroup(await groupsOfIds(dots.slice(0, 50)), group))
    failures.push(`${name}: the hidden ${group} nodes are not drawn as dots (${dots.length} dots)`);
  await page.click(`#orvo-legend button.orvo-legend-row[data-group="${group}"]`);
  await settle(page);
  const shown = await state(page);
  if (!hasGroup(await groupsOf(shown.report), group)) failures.push(`${name}: a second click on ${group} did not show it again`);

  // The arrow beside a row's count flies to the row's next node, then to the one after it.
  const next = async () => {
    await page.click(`#orvo-legend .orvo-legend-line:has(button[data-group="${group}"]) .orvo-legend-next`);
    await settle(page);
    const selected = await page.evaluate(() =>
      window.orvoMap.module.UTF8ToString(window.orvoMap.module._orvo_view_selected(window.orvoMap.view.handle)));
    return { selected, ...(await state(page)) };
  };
  const first = await next(), second = await next();
  const [firstGroups, secondGroups] = await groupsOfIds([first.selected, second.selected]);
  console.log(`${name}: the ${group} arrow: ${first.selected} then ${second.selected}; status "${second.status}"`);
  if (!hasGroup([firstGroups], group) || !hasGroup([secondGroups], group) || first.selected === second.selected)
    failures.push(`${name}: the ${group} arrow flew to ${first.selected} (${firstGroups}), then ${second.selected} (${secondGroups})`);
  if (second.centre !== second.selected) failures.push(`${name}: the arrow's flight ended at ${second.centre}, not ${second.selected}`);
  if (!second.status.includes(second.selected)) failures.push(`${name}: after the arrow the status line says "${second.status}"`);

  // "g" colours by the other kind of group: the legend shown follows.
  const kindOfLegend = () => page.$eval("#orvo-legend .orvo-legend-row", (row) => row.dataset.kind);
  const kindBefore = await kindOfLegend();
  await page.focus("#orvo-view");
  await page.keyboard.press("g");
  const kindAfter = await kindOfLegend();
  console.log(`${name}: "g": the legend's kind ${kindBefore} -> ${kindAfter}`);
  if (kindAfter === kindBefore) failures.push(`${name}: after "g" the legend still shows kind ${kindBefore}`);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const { puppeteer, browserPath } = requirePieces(options.moduleDir, options.browser);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-map-viewer-rig-"));
  const failures = [];
  const lines = [];
  let browser;
  try {
    generateGraphs(options.graphs, path.join(path.dirname(options.publish), "orvo-gen"), scratch);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"), options.browser);
    console.log(`browser: ${await browser.version()}`);
    const page = await openPage(browser, lines);
    await page.setViewport({ width: kWidth, height: kHeight });
    for (const [i, graph] of options.graphs.entries()) await checkMap(page, options, graph, i, scratch, failures);
  } finally {
    await closeAll({ lines, browser, scratch });
  }
  return failures;
}

if (require.main === module) runMain(main);

module.exports = { parseReport, cubeToPointAt };
