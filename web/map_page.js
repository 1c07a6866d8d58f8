// A published map's page: checks that the file is whole, unpacks the program and the graph it
// carries (or fetches them from beside the page, for the folder form), and puts the graph on view
// at the start view its options name. Whatever goes wrong ends in a message on the page, never a
// blank one.
//
// What the page offers to scripts (and to the browser tests), on window.orvoMap:
//   state        "loading", "drawn" (the first picture is drawn in full) or "failed"
//   message      the message shown when it failed ("" otherwise)
//   options      the map's options (the JSON block #orvo-options)
//   module, view the program and its OrvoView once loaded (a map of many nodes is shown a region
//                at a time: see applyRegionLimits)
//   viewer       the OrvoMapViewer around the view (search, legend, help, #node= links)
//   ready        a promise resolved when the first picture is drawn in full, or the map failed
//   firstPictureMs  milliseconds from the start of the page's loading to its first whole picture
//                being on the screen (the GPU done with it, and the browser's next frame shown)
//   firstPictureNodes  the nodes that picture holds
//   timings      milliseconds from the same start at which each step ended: unpacked (the program
//                and the graph decoded and checked), program (the module instantiated),
//                inflated (the graph's last bytes in the program), read (the graph unpacked and
//                read, and laid out when it is an outline), drawn (the first whole picture),
//                measured (the nodes' measures worked out after that picture)
//   measured     a promise resolved once the measures are there (or could not be worked out):
//                the viewer's measures then says "ready" or "failed", its measuresMs how long
//                the page was busy with them (0 when the map carried them)
"use strict";

(function () {
  const map = { state: "loading", message: "", options: null, module: null, view: null, timings: {} };
  let settle, measured;
  map.ready = new Promise((resolve) => (settle = resolve));
  map.measured = new Promise((resolve) => (measured = resolve));
  window.orvoMap = map;

  // A failure the page explains: a title and what to do.
  class MapProblem extends Error {
    constructor(title, text) {
      super(`${title} ${text}`);
      this.title = title;
      this.text = text;
    }
  }

  const cutShort = () => new MapProblem("This map file is incomplete.",
    "It ends before the map's data do: it was probably cut short while it was copied or " +
    "downloaded. Copy or download it again.");
  const altered = (what) => new MapProblem("This map file is damaged.",
    `The ${what} it carries does not match its checksum: the file was changed or broken after ` +
    "it was written. Copy or download it again.");

  const $ = (id) => document.getElementById(id);

  function status(text) {
    const line = $("orvo-status");
    if (line) line.textContent = text;
  }

  function progress(done, total) {
    const bar = $("orvo-progress");
    if (!bar) return;
    if (total > 0) bar.value = Math.min(done / total, 1);
    else bar.removeAttribute("value");
  }

  function fail(problem) {
    const title = problem instanceof MapProblem ? problem.title : "This map cannot be shown.";
    const text = problem instanceof MapProblem ? problem.text : String(problem && problem.message || problem);
    $("orvo-message-title").textContent = title;
    $("orvo-message-text").textContent = text;
    $("orvo-message").hidden = false;
    $("orvo-progress").hidden = true;
    status(title);
    map.state = "failed";
    map.message = `${title} ${text}`;
    settle();
    measured();
  }

  // CRC-32 (the one gzip and zlib compute), of every byte.
  const crcTable = (() => {
    const table = new Uint32Array(256);
    for (let n = 0; n < 256; ++n) {
      let c = n;
      for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
      table[n] = c >>> 0;
    }
    return table;
  })();
  function crc32(bytes) {
    let c = 0xffffffff;
    for (let i = 0; i < bytes.length; ++i) c = crcTable[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  }

  // The bytes a base64 text holds, decoded a megabyte at a time; null when it is no whole
  // base64 text of exactly `length` bytes.
  function base64Bytes(text, length) {
    if (typeof Uint8Array.fromBase64 === "function") {
      // The browser's own decoder, several times faster where it exists.
      try {
        const bytes = Uint8Array.fromBase64(text);
        return bytes.length === length ? bytes : null;
      } catch {
        return null;
      }
    }
    const out = new Uint8Array(length);
    const step = 1 << 20; // characters, a multiple of 4
    let at = 0;
    for (let i = 0; i < text.length; i += step) {
      let part;
      try {
        part = atob(text.substring(i, i + step));
      } catch {
        return null;
      }
      if (at + part.length > length) return null;
      for (let j = 0; j < part.length; ++j) out[at++] = part.charCodeAt(j);
    }
    return at === length ? out : null;
  }

  // The bytes of one piece of the map: the base64 text of the element with that id, or the file
  // beside the page that the options name; checked against their length and checksum.
  async function pieceBytes(piece, elementId, what) {
    let bytes;
    if (piece.file) {
      let response;
      try {
        response = await fetch(piece.file);
      } catch (error) {
        throw new MapProblem(`This map cannot read its ${what}.`,
          `Fetching ${piece.file} from beside the page failed (${error.message}).`);
      }
      if (!response.ok)
        throw new MapProblem(`This map cannot read its ${what}.`,
          `${piece.file} is not beside the page on this server (HTTP status ${response.status}).`);
      bytes = new Uint8Array(await response.arrayBuffer());
      if (bytes.length !== piece.bytes) throw altered(what);
    } else {
      const element = $(elementId);
      if (!element) throw cutShort();
      bytes = base64Bytes(element.textContent, piece.bytes);
      if (!bytes) throw altered(what);
    }
    if (crc32(bytes) !== piece.crc32) throw altered(what);
    return bytes;
  }

  // The gzip bytes inflated by the browser, as a stream of chunks. They are fed to it a piece at
  // a time, so that what comes out is taken as it comes rather than queued whole, and are let go
  // once all are in.
  function inflated(bytes) {
    let at = 0;
    const piece = 1 << 18;
    return new ReadableStream({
      pull(controller) {
        if (at >= bytes.length) {
          bytes = null;
          controller.close();
          return;
        }
        controller.enqueue(bytes.subarray(at, at + piece));
        at += piece;
      },
    }).pipeThrough(new DecompressionStream("gzip"));
  }

  async function* chunksOf(stream) {
    const reader = stream.getReader();
    for (;;) {
      const { done, value } = await reader.read();
      if (done) return;
      yield value;
    }
  }

  function memoryProblem(options) {
    const mb = Math.ceil(options.graph.memoryBytes / (1 << 20));
    return new MapProblem("The browser refused the memory this map needs.",
      `Its graph of ${options.graph.nodes.toLocaleString("en")} nodes needs about ${mb} MB. Close ` +
      "other tabs and load the page again, or open it in a 64-bit browser on a machine with " +
      "more memory.");
  }

  const isMemoryError = (error) =>
    error instanceof RangeError || /memory|allocat/i.test(String(error && error.message));

  // The start view: hidden groups, the colouring, the node at the centre, then the keys typed.
  function applyStartView(module, view, options) {
    if (options.colourKind === 0 || options.colourKind === 1)
      module._orvo_view_set_colour_kind(view.handle, options.colourKind);
    const withText = (text, call) => {
      const size = text.length * 4 + 1, at = module._malloc(size);
      module.stringToUTF8(text, at, size);
      try {
        return call(at);
      } finally {
        module._free(at);
      }
    };
    for (const group of options.hidden || [])
      withText(group.name, (at) => module._orvo_view_set_group_hidden(view.handle, group.kind, at, 1));
    for (const group of options.veiled || [])
      withText(group.name, (at) => module._orvo_view_set_group_veiled(view.handle, group.kind, at, 1));
    if (options.start && !withText(options.start, (at) => module._orvo_view_goto(view.handle, at)))
      console.warn(`the start node ${options.start} is not shown`);
    for (const key of options.keys || "") view.module._orvo_view_key(view.handle, key.charCodeAt(0));
  }

  // The page's address may set when a map is shown a region at a time (for tests, and to
  // compare): ?regionAbove=NODES (0: always whole), &regionNodes=, &firstRegionNodes=.
  function applyRegionLimits(view) {
    const query = new URLSearchParams(location.search);
    if (!query.has("regionAbove")) return;
    const number = (name) => {
      const value = Number(query.get(name) ?? -1);
      return Number.isFinite(value) ? value : -1; // below 0: the module's own
    };
    view.setRegionLimits(number("regionAbove"), number("regionNodes"), number("firstRegionNodes"));
  }

  function fitCanvas(view) {
    const canvas = view.canvas;
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (width !== canvas.width || height !== canvas.height) view.resize(width, height);
  }

  async function start() {
    // A file cut short lacks the end marker, whichever of its parts the cut went through.
    if (!$("orvo-end")) throw cutShort();
    const options = JSON.parse($("orvo-options").textContent);
    map.options = options;
    if (options.graph.file && location.protocol === "file:")
      throw new MapProblem("This map must be opened from a web server.",
        `It is published as a folder: the page fetches its data (${options.graph.file} and ` +
        `${options.wasm.file}) from beside it, which browsers do not allow for a page opened ` +
        "from disk. Put the whole folder on any static web host, or try it here with " +
        "\"python3 -m http.server\" run in the folder and http://localhost:8000/ opened. " +
        "(orvo-publish without --folder writes a single file that opens from disk.)");
    if (typeof createOrvoModule !== "function" || typeof OrvoView !== "function") throw cutShort();
    if (!document.createElement("canvas").getContext("webgl2"))
      throw new MapProblem("This browser cannot draw the map.",
        "The map is drawn with WebGL 2, which this browser does not offer or has turned off. " +
        "Turn on hardware acceleration in its settings, or open the map in a current browser.");
    if (typeof DecompressionStream !== "function")
      throw new MapProblem("This browser cannot unpack the map.",
        "It lacks DecompressionStream, which every current browser has: open the map in a current browser.");

    status("Unpacking the program…");
    const wasmGzip = await pieceBytes(options.wasm, "orvo-wasm", "program");
    const wasm = options.wasm.gzip
      ? new Uint8Array(await new Response(inflated(wasmGzip)).arrayBuffer()) : wasmGzip;
    let graphGzip = await pieceBytes(options.graph, "orvo-graph", "graph");
    // The text the bytes were decoded from is needed no more: the page lets it go.
    for (const id of ["orvo-wasm", "orvo-graph"]) if ($(id)) $(id).remove();
    map.timings.unpacked = performance.now();
    let module;
    try {
      module = await createOrvoModule({ wasmBinary: wasm });
    } catch (error) {
      if (isMemoryError(error)) throw memoryProblem(options);
      throw error;
    }
    map.module = module;
    map.timings.program = performance.now();
    const canvas = $("orvo-view");
    const view = new OrvoView(module, canvas);
    map.view = view;
    applyRegionLimits(view);
    fitCanvas(view);
    status(`Reading ${options.graph.nodes.toLocaleString("en")} nodes…`);
    // A map is read as it is, laid out and with its measures; an outline (published with
    // --outline, or by an older version) is laid out here.
    const isMap = options.graph.mapBytes !== undefined;
    const inflatedBytes = isMap ? options.graph.packBytes ?? options.graph.mapBytes : options.graph.outlineBytes;
    view.onProgress = (bytes) => progress(bytes, inflatedBytes);
    view.onLoaded = () => {
      applyStartView(module, view, options);
      if (typeof OrvoMapViewer === "function") map.viewer = new OrvoMapViewer(map);
    };
    const chunks = (async function* (stream) {
      yield* chunksOf(stream);
      map.timings.inflated = performance.now();
    })(inflated(graphGzip));
    graphGzip = null; // the inflater holds it while it needs it
    try {
      if (options.graph.packBytes !== undefined)
        await view.loadPackedChunks(chunks, options.graph.packBytes, options.graph.mapBytes);
      else
        await view.loadChunks(chunks, inflatedBytes, isMap);
    } catch (error) {
      if (isMemoryError(error)) throw memoryProblem(options);
      if (error instanceof TypeError) throw altered("graph"); // the inflater's own complaint
      if (error.damaged)
        throw new MapProblem("This map file is damaged.",
          `The map it carries cannot be read: ${error.message}. The file was changed or broken ` +
          "after it was written. Copy or download it again.");
      throw new MapProblem("This map's graph cannot be read.", error.message);
    }
    map.timings.read = performance.now();
    $("orvo-progress").hidden = true;
    status(`${options.graph.nodes.toLocaleString("en")} nodes`);
    if (map.viewer) map.viewer.showStatus();
    window.addEventListener("resize", () => fitCanvas(view));
    // The view keys work at once: the picture has the keyboard unless the user has already
    // gone elsewhere (the search box takes it when clicked or on "/").
    if (!document.activeElement || document.activeElement === document.body) canvas.focus({ preventScroll: true });
    await view.settled();
    await onScreen(canvas);
    map.firstPictureNodes = view.nodesDrawn();
    map.firstPictureMs = map.timings.drawn = performance.now();
    map.state = "drawn";
    settle();
    // The first picture never waits for the measures: they are worked out once it is whole.
    try {
      if (map.viewer) await map.viewer.workOutMeasures();
    } catch (error) {
      // The map stays on view without them.
      map.viewer.measures = "failed";
      map.viewer.measuresError = String((error && error.message) || error);
    }
    map.timings.measured = performance.now();
    measured();
  }

  // Resolves once what was drawn on the canvas is on the screen: reading a pixel back waits
  // for the GPU (a software one may be seconds behind the drawing), then the browser's next
  // frame shows it.
  function onScreen(canvas) {
    const gl = canvas.getContext("webgl2");
    if (gl) gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
    return new Promise((resolve) => requestAnimationFrame(() => resolve()));
  }

  function begin() {
    start().catch(fail);
  }
  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", begin);
  else begin();
})();
