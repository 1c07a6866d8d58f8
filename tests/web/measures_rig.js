#!/usr/bin/env node
// The measures rig: publishes graphs with orvo-publish, opens each map from file:// in headless
// Chromium and checks what the page does with the nodes' measures against the desktop's tools on
// the same graph:
//   ready    once the first picture is whole the page works the measures out and says so in its
//            status line; its help lists the keys M and P
//   colour   M, again and again, colours by depth, links in, links out, subtree size and link
//            score, then by the groups again: each picture as orvo-snapshot --colour-by draws
//            it (and unlike the groups' picture), the last as the default one
//   legend   while coloured by a measure the legend shows its ramp with the smallest and largest
//            value of orvo-inspect --measures at its ends, and the value of the node under the
//            pointer; the status line names that node's links in and out as the measures count them
//   labels   P: where labels compete, the higher link score wins, as with orvo-snapshot
//            --label-order score; which labels win changes
//   early    a map published with the key M opens coloured by depth once the measures are there
//   panel    the Links panel lists a node of the worked example (--panel-graph) in the order each
//            column's header sorts by, its link scores as orvo-inspect's; the filter box keeps
//            the rows that match; a click on a row flies there and lists that node's links; the
//            top node of the first --graph lists all its links while only the rows in sight are
//            made, the last of them once scrolled to the end
//
//   node measures_rig.js --module-dir DIR --publish PATH --snapshot PATH --inspect PATH
//                        --panel-graph FILE [--graph FILE]... [--generate NODES]...
//
// Every wait is for a state of the page, never for a time. Exit status 0 when every check holds,
// 1 when one fails, 77 (skipped) when a piece is missing.
"use strict";

const fs = require("fs");
const os = require("os");
const path = require("path");
const url = require("url");
const {
  parseOptions, takeGraphOption, generateGraphs, runMain, closeAll, requirePieces, launch, openPage,
  decodePng, moveMouse,
} = require("./browser");
const { comparePictures, writePng } = require("./view_rig");
const { run, kWidth, kHeight } = require("./publish_rig");
const { parseReport, cubeToPointAt } = require("./map_viewer_rig");

// Pictures as the other rigs compare the page's with the desktop's: the mean channel difference
// at most kMeanDiff, and at most kDifferingShare of the drawn pixels differing by more than
// kShiftTolerance beyond a one-pixel shift, more than the groups' pictures differ already. Where
// sub-pixel nodes crowd the rim, the browser's last-bit differences move pixels of the default
// picture (0.65 % of the drawn ones measured on the small site, none measured on the bundled
// example): that share, at most kCrowdedShare, is allowed in addition. A colouring must also move
// more than kChangedShare of the drawn pixels away from the groups' picture, so that a page that
// ignored it cannot pass.
const kMeanDiff = 1.0;
const kShiftTolerance = 16;
const kDifferingShare = 0.005;
const kCrowdedShare = 0.02;
const kChangedShare = 0.02;
const kPageTimeoutMs = 300000 * Number(process.env.ORVO_TEST_TIME_SCALE || 1);
const kLabelsOff = "ll";

// The measures in the order M colours by them: the name orvo-snapshot --colour-by takes, the
// column of orvo-inspect --measures, and the legend's title.
const kMeasures = [
  { name: "depth", column: "depth", title: "Depth" },
  { name: "in", column: "links_in", title: "Links in (log scale)" },
  { name: "out", column: "links_out", title: "Links out" },
  { name: "subtree", column: "subtree", title: "Subtree size (log scale)" },
  { name: "score", column: "score", title: "Link score (log scale)" },
];

function parseArguments(argv) {
  const options = parseOptions(argv, { graphs: [] }, {
    "--module-dir": "moduleDir", "--publish": "publish", "--snapshot": "snapshot", "--inspect": "inspect",
    "--panel-graph": "panelGraph",
  }, (options, name, value) => takeGraphOption(options, name, value, []));
  if (!options.moduleDir || !options.publish || !options.snapshot || !options.inspect || !options.panelGraph ||
      !options.graphs.length)
    throw new Error("usage: measures_rig.js --module-dir DIR --publish PATH --snapshot PATH --inspect PATH --panel-graph FILE [--graph FILE]... [--generate NODES]...");
  return options;
}

// orvo-inspect --measures: every node's row by id, numbers as numbers (an empty depth: null).
function readMeasures(csv) {
  const lines = csv.trim().split("\n");
  const header = lines[0].split(",");
  const byId = new Map();
  for (const line of lines.slice(1)) {
    // The id is the only field that may hold commas (quoted); the others are numbers.
    const fields = line.split(",");
    const tail = fields.slice(-5);
    let id = fields.slice(1, -5).join(",");
    if (id.startsWith('"')) id = id.slice(1, -1).replace(/""/g, '"');
    const row = {};
    header.slice(-5).forEach((name, k) => (row[name] = tail[k] === "" ? null : Number(tail[k])));
    byId.set(id, row);
  }
  return byId;
}

// A value as the legend writes it: counts grouped by spaces, a link score to three significant
// digits (parsed back, so that the exponent's form does not matter).
const grouped = (n) => String(n).replace(/\B(?=(\d{3})+(?!\d))/g, " ");
function sameValue(measure, text, value) {
  if (measure === "score") return Math.abs(Number(text) - value) <= 5e-3 * value;
  return text === grouped(value);
}

async function pageState(page) {
  return page.evaluate(() => {
    const map = window.orvoMap, m = map.module, h = map.view.handle;
    const rows = map.view.pixels();
    let text = "";
    for (let i = 0; i < rows.length; i += 0x8000)
      text += String.fromCharCode.apply(null, rows.subarray(i, i + 0x8000));
    const legend = document.getElementById("orvo-legend");
    const part = (selector) => {
      const element = legend.querySelector(selector);
      return element ? element.textContent : null;
    };
    return {
      status: document.getElementById("orvo-status").textContent,
      report: m.UTF8ToString(m._orvo_view_report(h)),
      pixels: btoa(text),
      legendShown: !legend.hidden,
      title: part(".orvo-legend-title"),
      low: part(".orvo-ramp-low"),
      high: part(".orvo-ramp-high"),
      pointed: part(".orvo-pointed-text"),
      groupRows: legend.querySelectorAll(".orvo-legend-row").length,
    };
  });
}

async function openMap(page, address) {
  // The pointer waits in a corner, where no node is, so that the status line says what the page
  // says of itself, not what a node under a pointer left there would.
  await page.mouse.move(kWidth - 4, kHeight - 4);
  await page.goto("about:blank");
  await page.goto(address, { waitUntil: "domcontentloaded" });
  await page.waitForFunction("window.orvoMap && window.orvoMap.state !== 'loading'",
    { timeout: kPageTimeoutMs, polling: 100 });
  const opened = await page.evaluate(async () => {
    await window.orvoMap.measured;
    const viewer = window.orvoMap.viewer;
    return { state: window.orvoMap.state, message: window.orvoMap.message, measures: viewer && viewer.measures,
      error: viewer && viewer.measuresError, ms: viewer && viewer.measuresMs,
      status: document.getElementById("orvo-status").textContent };
  });
  if (opened.state !== "drawn") throw new Error(`the map is ${opened.state}: ${opened.message}`);
  return opened;
}

async function typeKeys(page, keys) {
  await page.focus("#orvo-view");
  for (const key of keys) await page.keyboard.press(key);
  await page.evaluate(() => window.orvoMap.view.settled());
}

// How the page's picture and the desktop's compare: the mean channel difference and the share
// of drawn pixels differing beyond a one-pixel shift.
async function compare(page, gotBase64, wantPng) {
  const want = await decodePng(page, wantPng, kWidth, kHeight);
  const got = new Uint8Array(Buffer.from(gotBase64, "base64"));
  const d = comparePictures(want, got, kWidth, kHeight, Array.from(want.subarray(0, 3)), kShiftTolerance);
  return { mean: d.meanDiff, share: d.drawn ? d.differing / d.drawn : 1, drawn: d.drawn, got };
}

function keepPictures(label, got, wantPng) {
  const stem = path.join(os.tmpdir(), `orvo-measures-${label.replace(/[^\w.-]+/g, "-")}`);
  writePng(`${stem}.got.png`, kWidth, kHeight, got);
  fs.copyFileSync(wantPng, `${stem}.want.png`);
  console.log(`${label}: pictures written to ${stem}.{got,want}.png`);
}

// The first labels of two reports, in order: the nearest and largest nodes' labels are placed
// before any could collide, so where the fonts' widths differ these still agree.
function firstLabels(report, count) {
  return parseReport(report).filter((i) => i.kind === "label").slice(0, count).map((i) => i.id);
}

async function checkMap(page, options, graph, index, scratch, failures) {
  const name = path.basename(graph.file);
  const map = path.join(scratch, `map-${index}.html`);
  run(options.publish, [graph.file, "-o", map, "--title", name]);
  const address = url.pathToFileURL(map).href;
  const snapshot = (file, args) => run(options.snapshot,
    ["--gl", "modern", "--size", `${kWidth}x${kHeight}`, ...args, "-o", file, graph.file]);
  const measuresCsv = path.join(scratch, `measures-${index}.csv`);
  run(options.inspect, [graph.file, "--measures", measuresCsv]);
  const measures = readMeasures(fs.readFileSync(measuresCsv, "utf8"));

  // Ready: worked out after the first picture, said in the status line; the help has M and P.
  const opened = await openMap(page, address);
  console.log(`${name}: measures ${opened.measures} ${opened.error || ""} in ${Math.round(opened.ms)} ms after the first picture; status "${opened.status}"`);
  if (opened.measures !== "ready" || !opened.status.startsWith("Measures ready"))
    failures.push(`${name}: the page's measures are ${opened.measures} (${opened.error}), the status line says "${opened.status}"`);
  const helpKeys = await page.$$eval("#orvo-help th", (cells) => cells.map((c) => c.textContent));
  for (const key of ["M", "P"])
    if (!helpKeys.includes(key)) failures.push(`${name}: the page's help does not list the key ${key}`);

  // Colour: M through every measure and back to the groups, labels off on both sides.
  await typeKeys(page, kLabelsOff);
  const groupsPng = path.join(scratch, `groups-${index}.png`);
  snapshot(groupsPng, ["--keys", kLabelsOff]);
  const groupsPicture = await pageState(page);
  const crowded = await compare(page, groupsPicture.pixels, groupsPng);
  const allowed = kDifferingShare + crowded.share;
  console.log(`${name}: the groups' picture against orvo-snapshot: ${(100 * crowded.share).toFixed(3)} % of ` +
    `${crowded.drawn} drawn pixels differ (at most ${100 * kCrowdedShare} %)`);
  if (crowded.share > kCrowdedShare) failures.push(`${name}: the groups' picture differs from orvo-snapshot's`);
  for (const [k, measure] of [...kMeasures, null].entries()) {
    const label = `${name} M ${k + 1}: ${measure ? measure.name : "groups"}`;
    await typeKeys(page, "M");
    const now = await pageState(page);
    const wantPng = path.join(scratch, `colour-${index}-${k}.png`);
    snapshot(wantPng, ["--keys", kLabelsOff, ...(measure ? ["--colour-by", measure.name] : [])]);
    const same = await compare(page, now.pixels, wantPng);
    const changed = measure ? await compare(page, now.pixels, groupsPng) : null;
    console.log(`${label}: against orvo-snapshot mean ${same.mean.toFixed(3)}, ${(100 * same.share).toFixed(3)} % of ` +
      `${same.drawn} drawn pixels differ (allowed ${kMeanDiff}, ${(100 * allowed).toFixed(3)} %)` +
      (changed ? `; against the groups' picture ${(100 * changed.share).toFixed(2)} % (at least ${100 * kChangedShare} %)` : ""));
    if (!(same.drawn > 0 && same.mean <= kMeanDiff && same.share <= allowed)) {
      failures.push(`${label}: the page's picture differs from orvo-snapshot's`);
      keepPictures(label, same.got, wantPng);
    } else if (process.env.ORVO_WRITE_COMPARED) {
      keepPictures(label, same.got, wantPng);
    }
    if (changed && changed.share < kChangedShare)
      failures.push(`${label}: the picture is hardly other than the groups' (${(100 * changed.share).toFixed(2)} %)`);
    if (!measure) {
      if (now.pixels !== groupsPicture.pixels) {
        const back = await compare(page, now.pixels, groupsPng);
        if (back.share > allowed) failures.push(`${label}: back to the groups, the picture is not the one before`);
      }
      if (now.title === null || now.low !== null || now.groupRows === 0)
        failures.push(`${label}: back to the groups, the legend still shows a ramp`);
      continue;
    }
    // The legend: shown, its title, and the smallest and largest value at the ramp's ends.
    const values = [...measures.values()].map((row) => row[measure.column]).filter((v) => v !== null);
    const [low, high] = [Math.min(...values), Math.max(...values)];
    console.log(`${label}: legend "${now.title}" from ${now.low} to ${now.high} (orvo-inspect: ${low} to ${high})`);
    if (!now.legendShown || now.title !== measure.title || !sameValue(measure.name, now.low, low) ||
        !sameValue(measure.name, now.high, high))
      failures.push(`${label}: the legend shows "${now.title}" from ${now.low} to ${now.high}, not ${measure.title} from ${low} to ${high}`);
  }

  // Legend and status under the pointer, coloured by link score: the node's value, links in and out.
  await typeKeys(page, "MMMMM");
  const coloured = await pageState(page);
  const target = cubeToPointAt(parseReport(coloured.report), "");
  if (!target) {
    failures.push(`${name}: no node cube to point at`);
  } else {
    const row = measures.get(target.id);
    const links = `${grouped(row.links_in)} in, ${grouped(row.links_out)} out`;
    for (const off of [6, 4, 2, 1, 0]) await moveMouse(page, target.x + off, target.y);
    const named = await page.waitForFunction((id) => {
      const pointed = document.querySelector("#orvo-legend .orvo-pointed-text");
      return window.orvoMap.view.hovered === id && pointed && pointed.textContent.includes(id);
    }, { timeout: 30000, polling: 50 }, target.id).then(() => true, () => false);
    const now = await pageState(page);
    const value = now.pointed ? now.pointed.slice(now.pointed.lastIndexOf(": ") + 2) : "";
    console.log(`${name}: the pointer on ${target.id}: legend "${now.pointed}", status "${now.status}" (orvo-inspect: score ${row.score}, ${links})`);
    if (!named || !sameValue("score", value, row.score))
      failures.push(`${name}: the legend names "${now.pointed}" under the pointer, not ${target.id} at ${row.score}`);
    if (!now.status.includes(target.id) || !now.status.endsWith(links))
      failures.push(`${name}: the status line says "${now.status}" of ${target.id}, not its ${links}`);
  }

  // Labels: P, against orvo-snapshot --label-order score; the first labels change.
  await openMap(page, address);
  const bySize = firstLabels((await pageState(page)).report, 10);
  await typeKeys(page, "P");
  const byScore = await pageState(page);
  const desktopReport = path.join(scratch, `labels-${index}.csv`);
  run(options.snapshot, ["--gl", "modern", "--size", `${kWidth}x${kHeight}`, "--label-order", "score",
    "--report", desktopReport, graph.file]);
  const desktop = firstLabels(fs.readFileSync(desktopReport, "utf8"), 10);
  const mine = firstLabels(byScore.report, 10);
  console.log(`${name}: P: "${byScore.status}"; the first labels by size ${bySize.join(" ")}; by score ${mine.join(" ")}; ` +
    `orvo-snapshot --label-order score ${desktop.join(" ")}`);
  const checked = await page.evaluate(() => window.orvoMap.viewer.checked("P"));
  if (!byScore.status.startsWith("Labels by link score") || !checked)
    failures.push(`${name}: after P the status line says "${byScore.status}", the key ${checked ? "on" : "off"}`);
  if (mine.length === 0 || mine.join("\n") !== desktop.join("\n"))
    failures.push(`${name}: after P the first labels are ${mine.join(" ")}, orvo-snapshot's ${desktop.join(" ")}`);
  if (mine.join("\n") === bySize.join("\n")) failures.push(`${name}: P left the first labels as they were`);

  // A map published with M among its keys, typed before the measures are there, opens coloured by
  // depth once they are: the picture orvo-snapshot --colour-by depth draws, the legend its ramp.
  const early = path.join(scratch, `early-${index}.html`);
  run(options.publish, [graph.file, "-o", early, "--keys", `${kLabelsOff}M`]);
  await openMap(page, url.pathToFileURL(early).href);
  await page.evaluate(() => window.orvoMap.view.settled());
  const typedEarly = await pageState(page);
  const depthPng = path.join(scratch, `colour-${index}-0.png`);
  const same = await compare(page, typedEarly.pixels, depthPng);
  console.log(`${name}: published with the keys ${kLabelsOff}M: legend "${typedEarly.title}", against ` +
    `orvo-snapshot --colour-by depth ${(100 * same.share).toFixed(3)} % of the drawn pixels differ`);
  if (typedEarly.title !== "Depth" || same.mean > kMeanDiff || same.share > allowed)
    failures.push(`${name}: a map published with the key M does not open coloured by depth`);
}

// The worked example's node x.html: its parent links in, its child y.gif and its non-tree links
// to the top node and d/ go out, in the order the file holds them. Each case clicks the headers
// named (the sort order carries over from case to case) and lists the rows it leads to, as
// "id direction"; a case with `prefix` lists the first rows only (equal link scores keep the
// file's order, but scores equal in print may differ in their last bits).
const kPanelNode = "a://h/x.html";
const kPanelSummary = "1 in, 3 out";
const kPanelCases = [
  { clicks: [], rows: ["a://h/ in", "a://h/y.gif out", "a://h/ out", "a://h/d/ out"] },
  { clicks: ["Link"], rows: ["a://h/ in", "a://h/y.gif out", "a://h/ out", "a://h/d/ out"] },
  { clicks: ["Link"], rows: ["a://h/y.gif out", "a://h/ out", "a://h/d/ out", "a://h/ in"] },
  { clicks: ["Node"], rows: ["a://h/ in", "a://h/ out", "a://h/d/ out", "a://h/y.gif out"] },
  { clicks: ["Node"], rows: ["a://h/y.gif out", "a://h/d/ out", "a://h/ in", "a://h/ out"] },
  { clicks: ["Group", "Group"], rows: ["a://h/y.gif out", "a://h/ in", "a://h/ out", "a://h/d/ out"] },
  { clicks: ["Link score"], rows: ["a://h/d/ out"], prefix: true },
];

async function panelRows(page) {
  return page.evaluate(() => ({
    summary: document.getElementById("orvo-links-summary").textContent,
    title: document.getElementById("orvo-links-title").textContent,
    rows: [...document.querySelectorAll("#orvo-links .orvo-link-row")]
      .sort((a, b) => Number(a.dataset.index) - Number(b.dataset.index))
      .map((row) => ({
        id: row.dataset.id, index: Number(row.dataset.index),
        direction: row.querySelector(".orvo-link-direction").textContent,
        name: row.querySelector(".orvo-link-name").textContent,
        group: row.querySelector(".orvo-link-group-name").textContent,
        score: row.querySelector(".orvo-link-score").textContent,
      })),
  }));
}

async function checkPanel(page, options, scratch, failures) {
  const name = path.basename(options.panelGraph);
  const map = path.join(scratch, "panel.html");
  run(options.publish, [options.panelGraph, "-o", map]);
  const csv = path.join(scratch, "panel-measures.csv");
  run(options.inspect, [options.panelGraph, "--measures", csv]);
  const measures = readMeasures(fs.readFileSync(csv, "utf8"));
  await openMap(page, url.pathToFileURL(map).href);
  await page.evaluate((id) => window.orvoMap.viewer.travel(id), kPanelNode);
  await page.click("#orvo-links-button");
  await page.waitForFunction((want) => document.getElementById("orvo-links-summary").textContent === want,
    { timeout: 30000, polling: 50 }, kPanelSummary).catch(() => {});
  let now = await panelRows(page);
  console.log(`${name}: the panel of ${kPanelNode}: "${now.title}", "${now.summary}"`);
  if (now.summary !== kPanelSummary || !now.title.includes(kPanelNode))
    failures.push(`${name}: the panel lists "${now.title}", "${now.summary}", not ${kPanelNode}'s ${kPanelSummary}`);
  for (const [k, c] of kPanelCases.entries()) {
    for (const header of c.clicks) {
      // The header whose text is the column's name (and an arrow once sorted by it).
      const buttons = await page.$$("#orvo-links .orvo-links-col");
      const texts = await Promise.all(buttons.map((b) => b.evaluate((e) => e.textContent.replace(/ [▲▼]$/, ""))));
      await buttons[texts.indexOf(header)].click();
    }
    now = await panelRows(page);
    const got = now.rows.map((r) => `${r.id} ${r.direction}`);
    const want = c.rows;
    console.log(`${name}: panel case ${k + 1} (${c.clicks.join(", ") || "as the file holds them"}): ${got.join("; ")}`);
    const same = c.prefix ? want.every((w, i) => got[i] === w) && got.length === 4 : got.join("\n") === want.join("\n");
    if (!same) failures.push(`${name}: panel case ${k + 1}: the rows are ${got.join("; ")}, not ${want.join("; ")}`);
    for (const row of now.rows) {
      const expected = measures.get(row.id);
      if (!expected || !sameValue("score", row.score, expected.score) || row.name !== row.id)
        failures.push(`${name}: panel case ${k + 1}: the row of ${row.id} says "${row.name}" at ${row.score}, not ${expected && expected.score}`);
    }
    const scores = now.rows.map((r) => Number(r.score));
    if (c.clicks.includes("Link score") && scores.some((v, i) => i > 0 && v > scores[i - 1]))
      failures.push(`${name}: sorted by link score the rows go ${scores.join(", ")}`);
  }
  const groups = Object.fromEntries(now.rows.map((r) => [r.id, r.group]));
  if (groups["a://h/y.gif"] !== "image" || groups["a://h/d/"] !== "html")
    failures.push(`${name}: the panel's groups are ${JSON.stringify(groups)}`);

  // The filter box, then a click on a row.
  await page.type("#orvo-links-filter", "GIF");
  now = await panelRows(page);
  console.log(`${name}: filtered by "GIF": "${now.summary}", ${now.rows.map((r) => r.id).join("; ")}`);
  if (now.summary !== `${kPanelSummary} (1 shown)` || now.rows.length !== 1 || now.rows[0].id !== "a://h/y.gif")
    failures.push(`${name}: filtered by "GIF" the panel shows "${now.summary}": ${now.rows.map((r) => r.id).join("; ")}`);
  const row = await page.$('#orvo-links .orvo-link-row[data-id="a://h/y.gif"]');
  if (!row) {
    failures.push(`${name}: the panel has no row of a://h/y.gif to click`);
    return;
  }
  await row.click();
  const flown = await page.waitForFunction(() => document.getElementById("orvo-links-summary").textContent.startsWith("1 in, 0 out"),
    { timeout: 30000, polling: 50 }).then(() => true, () => false);
  const after = await page.evaluate(async () => {
    await window.orvoMap.view.settled();
    const m = window.orvoMap.module, h = window.orvoMap.view.handle;
    return { centre: m.UTF8ToString(m._orvo_view_centre(h)), selected: m.UTF8ToString(m._orvo_view_selected(h)), hash: location.hash };
  });
  now = await panelRows(page);
  console.log(`${name}: a click on the y.gif row: centre ${after.centre}, selected ${after.selected}, ${after.hash}; the panel "${now.title}", "${now.summary}"`);
  if (!flown || after.centre !== "a://h/y.gif" || after.selected !== "a://h/y.gif" ||
      after.hash !== `#node=${encodeURIComponent("a://h/y.gif")}` || !now.title.includes("a://h/y.gif"))
    failures.push(`${name}: a click on the y.gif row left the centre at ${after.centre}, the panel at "${now.title}", "${now.summary}"`);
}

// A node with many links lists them all while only the rows in sight are made; scrolled to the
// end, the last row is made.
async function checkManyLinks(page, options, graph, scratch, failures) {
  const name = path.basename(graph.file);
  const map = path.join(scratch, "many.html");
  run(options.publish, [graph.file, "-o", map]);
  await openMap(page, url.pathToFileURL(map).href);
  const top = await page.evaluate(() => {
    const m = window.orvoMap.module, id = m.UTF8ToString(m._orvo_view_top(window.orvoMap.view.handle));
    window.orvoMap.viewer.travel(id);
    return id;
  });
  const csv = path.join(scratch, "many-measures.csv");
  run(options.inspect, [graph.file, "--measures", csv]);
  const row = readMeasures(fs.readFileSync(csv, "utf8")).get(top);
  const total = row.links_in + row.links_out;
  await page.click("#orvo-links-button");
  let now = await panelRows(page);
  await page.$eval("#orvo-links-rows", (rows) => (rows.scrollTop = rows.scrollHeight));
  const reached = await page.waitForFunction((last) =>
    [...document.querySelectorAll("#orvo-links .orvo-link-row")].some((r) => Number(r.dataset.index) === last),
  { timeout: 30000, polling: 50 }, total - 1).then(() => true, () => false);
  const end = await panelRows(page);
  console.log(`${name}: the panel of ${top}: "${now.summary}", ${now.rows.length} rows made of ${total}; ` +
    `scrolled to the end, rows ${end.rows[0] && end.rows[0].index} to ${end.rows.length && end.rows[end.rows.length - 1].index}`);
  const expected = `${grouped(row.links_in)} in, ${grouped(row.links_out)} out`;
  if (now.summary !== expected) failures.push(`${name}: the panel of ${top} says "${now.summary}", not "${expected}"`);
  if (now.rows.length === 0 || now.rows.length > 60 || now.rows.length >= total)
    failures.push(`${name}: the panel made ${now.rows.length} rows of ${total}, not those in sight`);
  if (!reached || end.rows.length > 60) failures.push(`${name}: scrolled to the end the panel does not show row ${total - 1}`);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const { puppeteer, browserPath } = requirePieces(options.moduleDir);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "orvo-measures-rig-"));
  const failures = [];
  const lines = [];
  let browser;
  try {
    generateGraphs(options.graphs, path.join(path.dirname(options.publish), "orvo-gen"), scratch);
    browser = await launch(puppeteer, browserPath, path.join(scratch, "profile"));
    console.log(`browser: ${await browser.version()}`);
    const page = await openPage(browser, lines);
    await page.setViewport({ width: kWidth, height: kHeight });
    await checkPanel(page, options, scratch, failures);
    await checkManyLinks(page, options, options.graphs[0], scratch, failures);
    for (const [i, graph] of options.graphs.entries()) await checkMap(page, options, graph, i, scratch, failures);
  } finally {
    await closeAll({ lines, browser, scratch });
  }
  return failures;
}

runMain(main);
