// What the browser rigs and the browser benchmarks share: their command lines and ends,
// skipping where a piece is missing, finding the system's headless Chromium, serving named files
// from 127.0.0.1, starting the browser offline with WebGL 2 through SwiftShader, and decoding a
// desktop picture in a page.
"use strict";

const { execFileSync } = require("child_process");
const fs = require("fs");
const http = require("http");
const path = require("path");

const kSkipped = 77;

// Where the browser tests must run (continuous integration sets ORVO_REQUIRE_WEB=1), a
// missing piece fails the test instead.
function skip(reason) {
  const required = process.env.ORVO_REQUIRE_WEB === "1";
  console.log(`${required ? "FAILED" : "SKIPPED"}: ${reason}`);
  process.exit(required ? 1 : kSkipped);
}

// A command line of "--name value" pairs into `options`: `names` maps an option to the key it
// sets; `other(options, name, value)` takes the rest and says whether it knew the name.
function parseOptions(argv, options, names, other = () => false) {
  for (let i = 0; i < argv.length; i += 2) {
    const [name, value] = [argv[i], argv[i + 1]];
    if (value === undefined) throw new Error(`${name} needs a value`);
    if (Object.hasOwn(names, name)) options[names[name]] = value;
    else if (!other(options, name, value)) throw new Error(`unknown option ${name}`);
  }
  return options;
}

// The published-map rigs' graphs: "--graph FILE" or "--generate NODES" adds one to
// options.graphs, and each option of `perGraph` ("--search" sets .search) applies to the last
// one added. Says whether it knew the name.
function takeGraphOption(options, name, value, perGraph) {
  if (name === "--graph") options.graphs.push({ file: value });
  else if (name === "--generate") options.graphs.push({ generate: Number(value) });
  else if (!perGraph.includes(name)) return false;
  else if (!options.graphs.length) throw new Error(`${name} follows the graph it applies to`);
  else options.graphs[options.graphs.length - 1][name.slice(2)] = value;
  return true;
}

// Writes each graph of "--generate NODES" with orvo-gen into the scratch folder.
function generateGraphs(graphs, orvoGen, scratch) {
  for (const graph of graphs) {
    if (!graph.generate) continue;
    graph.file = path.join(scratch, `generated-${graph.generate}.graph`);
    execFileSync(orvoGen, ["-n", String(graph.generate), "-o", graph.file], { stdio: ["ignore", "pipe", "pipe"] });
  }
}

// "WIDTHxHEIGHT" as [width, height].
function parseSize(name, value) {
  const size = /^(\d+)x(\d+)$/.exec(value);
  if (!size) throw new Error(`${name} wants WIDTHxHEIGHT, not ${value}`);
  return [Number(size[1]), Number(size[2])];
}

// Runs a rig's or a benchmark's main. A rig's returns its failures: each is printed, and the
// exit status is 1 when there is one. An error thrown is a failure too.
function runMain(main) {
  main().then((failures) => {
    if (!failures) return;
    for (const failure of failures) console.log(`FAILED: ${failure}`);
    if (failures.length) process.exit(1);
    console.log("every check holds");
  }).catch((error) => {
    console.log(`FAILED: ${error && error.stack ? error.stack : error}`);
    process.exit(1);
  });
}

// Ends what a run opened, whichever of them it got to: prints the pages' console lines, closes
// the browser and the server, removes the scratch folder.
async function closeAll({ lines = [], browser, server, scratch }) {
  if (lines.length) console.log(`page console:\n  ${lines.join("\n  ")}`);
  if (browser) await browser.close();
  if (server) server.close();
  if (scratch) fs.rmSync(scratch, { recursive: true, force: true });
}

// The first of the files that can be run.
function firstExecutable(candidates) {
  return candidates.filter(Boolean).find((file) => {
    try {
      fs.accessSync(file, fs.constants.X_OK);
      return true;
    } catch {
      return false;
    }
  });
}

// The browser binary itself (not a wrapper script, whose end would leave the browser running).
function findBrowser() {
  return firstExecutable([
    process.env.ORVO_CHROMIUM,
    "/usr/lib/chromium/chromium-headless-shell",
    "/usr/bin/chromium-headless-shell",
  ]);
}

// Firefox, for the rigs that open the published map in it too. It draws WebGL 2 only with a
// display (Xvfb will do), not headless.
function findFirefox() {
  return firstExecutable([process.env.ORVO_FIREFOX, "/usr/lib/firefox-esr/firefox-esr", "/usr/lib/firefox/firefox"]);
}

// The module's two files in moduleDir, and puppeteer-core and the browser (Chromium, or with
// `browser` "firefox" Firefox and a display); skips without them.
function requirePieces(moduleDir, browser = "chromium") {
  const moduleJs = path.join(moduleDir, "orvo-web.js");
  const moduleWasm = path.join(moduleDir, "orvo-web.wasm");
  if (!fs.existsSync(moduleJs) || !fs.existsSync(moduleWasm))
    skip(`the wasm module is not built in ${moduleDir} (./scripts/setup.sh web builds it)`);
  let puppeteer;
  try {
    puppeteer = require("puppeteer-core");
  } catch {
    skip(`the node packages are not installed (run npm ci in ${__dirname}, or ./scripts/setup.sh web)`);
  }
  const browserPath = browser === "firefox" ? findFirefox() : findBrowser();
  if (!browserPath) {
    skip(browser === "firefox" ? "no Firefox (apt-get install firefox-esr)"
      : "no chromium-headless-shell (apt-get install chromium-headless-shell)");
  }
  if (browser === "firefox" && !process.env.DISPLAY)
    skip("Firefox draws WebGL 2 only on a display: run the test under xvfb-run");
  return {
    puppeteer,
    browserPath,
    browser,
    files: {
      "/orvo-web.js": { path: moduleJs, type: "text/javascript" },
      "/orvo-web.wasm": { path: moduleWasm, type: "application/wasm" },
      "/orvo_view.js": { path: path.join(__dirname, "../../web/orvo_view.js"), type: "text/javascript" },
    },
  };
}

// Serves exactly the files named, nothing else.
function serve(files) {
  const server = http.createServer((request, response) => {
    const file = files[new URL(request.url, "http://127.0.0.1").pathname];
    if (!file) {
      response.writeHead(404).end();
      return;
    }
    const stream = fs.createReadStream(file.path);
    stream.on("error", () => response.writeHead(500).end());
    stream.on("open", () => {
      response.writeHead(200, { "Content-Type": file.type, "Cache-Control": "no-store" });
      stream.pipe(response);
    });
  });
  return new Promise((resolve, reject) => {
    server.on("error", reject);
    server.listen(0, "127.0.0.1", () => resolve(server));
  });
}

function launch(puppeteer, browserPath, profileDir, browser = "chromium") {
  if (browser === "firefox") {
    return puppeteer.launch({
      browser: "firefox",
      executablePath: browserPath,
      headless: false,
      userDataDir: profileDir,
      extraPrefsFirefox: {
        "webgl.force-enabled": true,
        // Nothing leaves the machine.
        "network.dns.disableIPv6": true, "app.update.enabled": false,
        "browser.safebrowsing.malware.enabled": false, "browser.safebrowsing.phishing.enabled": false,
        "datareporting.policy.dataSubmissionEnabled": false, "toolkit.telemetry.enabled": false,
        "network.captive-portal-service.enabled": false, "network.connectivity-service.enabled": false,
      },
    });
  }
  return puppeteer.launch({
    executablePath: browserPath,
    headless: "shell",
    userDataDir: profileDir,
    args: [
      "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--no-sandbox",
      // Nothing leaves the machine.
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--no-first-run", "--disable-quic", "--disable-default-apps", "--disable-extensions",
      "--no-default-browser-check", "--metrics-recording-only",
    ],
  });
}

// A new page whose console and errors are collected into `lines`.
async function openPage(browser, lines) {
  const page = await browser.newPage();
  page.on("console", (message) => lines.push(`${message.type()}: ${message.text()}`));
  page.on("pageerror", (error) => lines.push(`page error: ${error.message}`));
  return page;
}

// Does what `send` does and waits until the page has had that many more pointer motions: a
// browser that is behind merges the motions it has not yet handed out, and the viewer takes
// every third motion and turns by each. Says whether they came (a motion to where the pointer
// already is may never come).
async function afterMotions(page, motions, send, patienceMs = 30000) {
  const before = await page.evaluate(() => {
    if (window.rigMotions === undefined) {
      window.rigMotions = 0;
      document.addEventListener("pointermove", () => ++window.rigMotions, { capture: true });
    }
    return window.rigMotions;
  });
  await send();
  return page.waitForFunction((n) => window.rigMotions >= n, { timeout: patienceMs, polling: "raf" },
    before + motions).then(() => true, () => false);
}

// The mouse to x, y, once the page has had the motion (or it never came).
function moveMouse(page, x, y) {
  return afterMotions(page, 1, () => page.mouse.move(x, y));
}

// A PNG file (a desktop picture) decoded by the browser itself in the page, as RGBA rows top
// first.
async function decodePng(page, file, width, height) {
  const text = await page.evaluate(async (dataUrl, w, h) => {
    const image = new Image();
    image.src = dataUrl;
    await image.decode();
    const canvas = document.createElement("canvas");
    canvas.width = w;
    canvas.height = h;
    const context = canvas.getContext("2d");
    context.drawImage(image, 0, 0);
    const rows = context.getImageData(0, 0, w, h).data;
    let out = "";
    for (let i = 0; i < rows.length; i += 0x8000)
      out += String.fromCharCode.apply(null, rows.subarray(i, i + 0x8000));
    return btoa(out);
  }, `data:image/png;base64,${fs.readFileSync(file).toString("base64")}`, width, height);
  return new Uint8Array(Buffer.from(text, "base64"));
}

module.exports = {
  parseOptions, takeGraphOption, generateGraphs, parseSize, runMain, closeAll, kSkipped, skip,
  findBrowser, findFirefox, requirePieces, serve, launch, openPage, afterMotions, moveMouse, decodePng,
};
