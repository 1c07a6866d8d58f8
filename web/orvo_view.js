// The page's side of a graph view on a canvas: hands a graph file to the module (a gzip file
// inflated by the browser on the way), draws its frames slice by slice, one slice per animation
// frame, and passes the pointer, the buttons and the keys on to the viewer. Each slice is sized
// to what the frames really cost: where the browser draws WebGL in software, the drawing a slice
// queues takes far longer than queueing it did, and the page would stop following the pointer.
//
//   const module = await createOrvoModule();
//   const view = new OrvoView(module, canvas);        // the canvas needs an id
//   await view.loadUrl("site.graph.gz");              // or view.loadBytes(uint8Array)
//   view.onHover = (id) => ...; view.onClick = (id) => ...;
//   await view.settled();                             // the frame is drawn in full
//   await view.rested();                              // and a large map's full region is in
"use strict";

class OrvoView {
  constructor(module, canvas) {
    if (!canvas.id) throw new Error("the canvas needs an id");
    this.module = module;
    this.canvas = canvas;
    this.onHover = null; // called with the hovered node's id ("" for none) when it changes
    this.onClick = null; // called with what a click picked: a node id, "from|to", or ""
    this.onProgress = null; // called with the bytes of the graph file handed over so far
    this.onLoaded = null; // called once the graph is read, before its first frame is drawn
    this.onRegion = null; // called when another region of a map shown so is put on view
    this.regionPending = false;
    this.hovered = "";
    this.scheduled = false;
    this.waiting = [];
    // What a slice may take now; the drawing done since the last animation frame; that frame's
    // time, 0 when the frame before it was not a slice of the same run.
    this.paced = true; // false: every slice at its full length (for benchmarks to compare)
    this.sliceMs = OrvoView.maxSliceMs;
    this.spentMs = 0;
    this.lastFrameAt = 0;
    this.gl = null; // the canvas's context, once the view has a graph
    this.fences = []; // what the GPU has still to draw: a fence, and when, for each frame
    const selector = `#${canvas.id}`;
    const text = module._malloc(selector.length * 4 + 1);
    module.stringToUTF8(selector, text, selector.length * 4 + 1);
    this.handle = module._orvo_view_new(text, canvas.width, canvas.height);
    module._free(text);
    this.listen();
  }

  close() {
    clearTimeout(this.restTimer);
    this.module._orvo_view_close(this.handle);
    this.handle = 0;
  }

  // Reads the whole response into the module's memory as it arrives, inflating a gzip file
  // (by its first two bytes, whatever the name) through the browser's DecompressionStream.
  async loadUrl(url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`cannot fetch ${url}: ${response.status}`);
    const reader = response.body.getReader();
    const first = await reader.read();
    let head = first.done ? new Uint8Array(0) : first.value;
    let chunks = OrvoView.restOf(head, reader);
    if (head.length >= 2 && head[0] === 0x1f && head[1] === 0x8b) {
      const joined = new ReadableStream({
        async start(controller) {
          for await (const chunk of chunks) controller.enqueue(chunk);
          controller.close();
        },
      });
      const inflated = joined.pipeThrough(new DecompressionStream("gzip")).getReader();
      chunks = (async function* () {
        for (;;) {
          const { done, value } = await inflated.read();
          if (done) return;
          yield value;
        }
      })();
    }
    return this.loadChunks(chunks);
  }

  static async *restOf(head, reader) {
    if (head.length) yield head;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) return;
      yield value;
    }
  }

  // Copies the chunks into one block of the module's memory, growing it as they come, and
  // hands it over; the block is freed once the graph is read. A size known beforehand (a
  // published map's) makes the block once, at that size. `map`: the bytes are a map file's,
  // read as they are laid out, else an outline's, read and laid out.
  async loadChunks(chunks, sizeHint = 0, map = false) {
    const m = this.module;
    let capacity = Math.max(1 << 20, sizeHint), length = 0;
    let block = m._malloc(capacity);
    try {
      for await (const chunk of chunks) {
        if (length + chunk.length > capacity) {
          while (length + chunk.length > capacity) capacity *= 2;
          const bigger = m._malloc(capacity);
          if (!bigger) throw new Error("no memory for the file");
          m.HEAPU8.copyWithin(bigger, block, block + length);
          m._free(block);
          block = bigger;
        }
        if (!block) throw new Error("no memory for the file");
        m.HEAPU8.set(chunk, block + length);
        length += chunk.length;
        if (this.onProgress) this.onProgress(length);
      }
      return this.loadFrom(block, length, map);
    } finally {
      m._free(block);
    }
  }

  // Reads a packed map (a published page's) as it is inflated: its `packBytes` go straight to
  // the end of one block the size of the map they unpack to (`mapBytes`), where the module
  // unpacks them in place and reads the map, so that the page never holds two copies.
  async loadPackedChunks(chunks, packBytes, mapBytes) {
    const m = this.module;
    if (!(packBytes <= mapBytes)) throw new Error("the packed map is larger than its map");
    let block = m._malloc(Math.max(mapBytes, 1));
    if (!block) throw new Error("no memory for the file");
    try {
      const start = block + mapBytes - packBytes;
      let length = 0;
      for await (const chunk of chunks) {
        if (length + chunk.length > packBytes) throw this.damage("it is longer than its page says");
        m.HEAPU8.set(chunk, start + length);
        length += chunk.length;
        if (this.onProgress) this.onProgress(length);
      }
      if (length !== packBytes) throw this.damage("it is shorter than its page says");
      // The module takes the block: a map shown a region at a time is read from it for good.
      const given = block;
      block = 0;
      return this.finishLoad(m._orvo_view_load_packed_map(this.handle, given, mapBytes, packBytes));
    } finally {
      if (block) m._free(block);
    }
  }

  // Packed maps of more than `aboveNodes` nodes (0: none) load from now on a region at a time,
  // of about `regionNodes` nodes, the first of about `firstNodes` (see the module).
  setRegionLimits(aboveNodes, regionNodes, firstNodes) {
    this.module._orvo_view_set_region_limits(this.handle, aboveNodes, regionNodes, firstNodes);
  }

  // Resolves once the view is at rest: its frame drawn in full, and, for a map shown a region
  // at a time, no other region wanted (the full one in place of the first, or one around a
  // centre near the region's edge).
  async rested() {
    for (;;) {
      await this.settled();
      if (!this.module._orvo_view_region_wanted(this.handle)) return;
      await new Promise((resolve) => setTimeout(resolve, 10));
    }
  }

  // Once a frame is finished, a region the view wants is built and put on view, after the
  // browser's next frame has shown that one (the first picture never waits for a region).
  regionStep() {
    if (this.regionPending || !this.handle || !this.module._orvo_view_region_wanted(this.handle)) return;
    this.regionPending = true;
    requestAnimationFrame(() => setTimeout(() => {
      this.regionPending = false;
      if (!this.handle || this.scheduled) return; // a frame is under way: it comes back here
      if (this.drawing(() => this.module._orvo_view_region_step(this.handle))) {
        if (this.onRegion) this.onRegion();
        this.schedule();
      }
    }, 0));
  }

  damage(text) {
    const error = new Error(`its packed map is damaged: ${text}`);
    error.damaged = true;
    return error;
  }

  loadBytes(bytes) {
    const m = this.module;
    const block = m._malloc(Math.max(bytes.length, 1));
    if (!block) throw new Error("no memory for the file");
    try {
      m.HEAPU8.set(bytes, block);
      return this.loadFrom(block, bytes.length);
    } finally {
      m._free(block);
    }
  }

  loadFrom(block, length, map = false) {
    const m = this.module;
    return this.finishLoad((map ? m._orvo_view_load_map : m._orvo_view_load)(this.handle, block, length));
  }

  // After the module's read: its error thrown, or the graph put on view.
  finishLoad(loaded) {
    const m = this.module;
    if (loaded !== 1) {
      const error = new Error(m.UTF8ToString(m._orvo_view_error(this.handle)));
      error.damaged = loaded < 0; // the bytes are no whole map; the message says what is wrong
      throw error;
    }
    this.loaded = true; // the canvas has its WebGL context
    this.hovered = "";
    if (this.onLoaded) this.onLoaded(); // the start view, set before the first frame
    this.drawing(() => m._orvo_view_redraw(this.handle));
    this.schedule();
  }

  // One slice of the frame per animation frame, while the frame has more to draw; while the GPU
  // is more than a frame behind what was queued, the refinement waits for it.
  schedule() {
    if (this.scheduled || !this.handle) return;
    this.scheduled = true;
    requestAnimationFrame(() => {
      this.scheduled = false;
      if (!this.handle) return;
      this.pace(performance.now());
      if (this.paced && this.fences.length > 1) {
        this.schedule();
        return;
      }
      const more = this.drawing(() => this.module._orvo_view_idle(this.handle));
      this.fence();
      if (more) {
        this.schedule();
      } else {
        this.lastFrameAt = 0;
        for (const resolve of this.waiting.splice(0)) resolve();
        this.regionStep();
      }
    });
  }

  // Runs a call into the viewer that may draw (a slice, or a new frame's first slice), with what
  // is left of this animation frame's drawing time as its slice's budget.
  drawing(call) {
    const budget = !this.paced ? OrvoView.maxSliceMs
      : Math.max(OrvoView.minSliceMs, this.sliceMs - this.spentMs);
    this.module._orvo_view_set_slice_budget(this.handle, Math.round(budget * 1000));
    const start = performance.now();
    try {
      return call();
    } finally {
      this.spentMs += performance.now() - start;
    }
  }

  // A fence after what this animation frame queued: once the GPU has drawn it, the fence is
  // signalled, which tells how long the drawing really took.
  fence() {
    if (!this.gl) this.gl = this.loaded && this.canvas.getContext("webgl2");
    if (!this.gl || this.fences.length > 8) return;
    this.fences.push({ sync: this.gl.fenceSync(this.gl.SYNC_GPU_COMMANDS_COMPLETE, 0), at: performance.now() });
  }

  // At each animation frame: what the drawing queued before cost. Where a fence has been
  // signalled since the last frame, that is the time from queueing the drawing it follows to the
  // GPU being done with it; without fences, the time between the two frames. The slices are
  // scaled to bring that to frameMs; where the picture is drawn as fast as it is queued, they
  // stay at their full length. A frame that waits for the GPU queued nothing, and tells nothing.
  pace(now) {
    let cost = 0;
    const gl = this.gl;
    while (this.fences.length && gl.getSyncParameter(this.fences[0].sync, gl.SYNC_STATUS) === gl.SIGNALED) {
      const done = this.fences.shift();
      gl.deleteSync(done.sync);
      cost = Math.max(cost, now - done.at);
    }
    if (!gl && this.lastFrameAt && this.spentMs > 0) cost = now - this.lastFrameAt;
    if (cost > 0) {
      const scale = Math.min(Math.max(OrvoView.frameMs / cost, 0.5), 1.5);
      this.sliceMs = Math.min(OrvoView.maxSliceMs, Math.max(OrvoView.minSliceMs, this.sliceMs * scale));
    }
    this.lastFrameAt = now;
    this.spentMs = 0;
  }

  // Resolves once the frame on view is drawn in full (refinement has stopped).
  settled() {
    return new Promise((resolve) => {
      this.waiting.push(resolve);
      this.schedule();
    });
  }

  // The node the last slice drew.
  nodesLastSlice() {
    return this.module._orvo_view_nodes_last_slice(this.handle);
  }

  // The nodes the frame on view holds so far.
  nodesDrawn() {
    return this.module._orvo_view_nodes_drawn(this.handle);
  }

  // The picture as RGBA rows, top row first (a copy), or null without a graph.
  pixels() {
    const m = this.module;
    const at = m._orvo_view_pixels(this.handle);
    if (!at) return null;
    const { width, height } = this.canvas;
    const rows = new Uint8Array(width * height * 4);
    for (let y = 0; y < height; ++y) {
      const from = at + (height - 1 - y) * width * 4;
      rows.set(m.HEAPU8.subarray(from, from + width * 4), y * width * 4);
    }
    return rows;
  }

  resize(width, height) {
    this.canvas.width = width;
    this.canvas.height = height;
    this.drawing(() => this.module._orvo_view_resize(this.handle, width, height));
    this.schedule();
  }

  // Canvas pixels of a pointer event (the canvas may be shown scaled).
  point(event) {
    const box = this.canvas.getBoundingClientRect();
    return [
      Math.floor(((event.clientX - box.left) * this.canvas.width) / box.width),
      Math.floor(((event.clientY - box.top) * this.canvas.height) / box.height),
    ];
  }

  static modifiers(event) {
    return [event.shiftKey ? 4 : 0, event.ctrlKey ? 8 : 0];
  }

  listen() {
    const c = this.canvas, m = this.module;
    c.tabIndex = c.tabIndex >= 0 ? c.tabIndex : 0; // keys go to the canvas once clicked
    c.addEventListener("contextmenu", (event) => event.preventDefault());
    c.addEventListener("pointermove", (event) => {
      if (event.pointerType === "touch") return;
      const [x, y] = this.point(event), [shift, ctrl] = OrvoView.modifiers(event);
      this.drawing(() => m._orvo_view_pointer_move(this.handle, x, y, shift, ctrl));
      this.noteHover();
      this.schedule();
      clearTimeout(this.restTimer);
      if (this.held === undefined) this.restTimer = setTimeout(() => this.rest(), OrvoView.restMs);
    });
    // A button press and release as the viewer takes them; a left press and release without
    // motion between is a click. Shift turns the left button into the turning (right) one.
    const press = (button, down, x, y, shift, ctrl) => {
      this.drawing(() => m._orvo_view_button(this.handle, button, down ? 1 : 0, x, y, shift, ctrl));
      if (!down && button === 0 && this.onClick) {
        this.onClick(m.UTF8ToString(m._orvo_view_clicked(this.handle)));
      }
      this.noteHover();
      this.schedule();
    };
    const mouse = (down) => (event) => {
      if (event.pointerType === "touch") return; // touches below
      if (event.button !== 0 && event.button !== 2) return;
      const [x, y] = this.point(event), [shift, ctrl] = OrvoView.modifiers(event);
      if (down) {
        clearTimeout(this.restTimer);
        c.focus();
        c.setPointerCapture(event.pointerId);
        this.held = event.button === 0 && event.shiftKey ? 2 : event.button;
      } else if (this.held === undefined) {
        return; // released a button pressed elsewhere
      }
      const button = this.held;
      if (!down) this.held = undefined;
      press(button, down, x, y, shift, ctrl);
    };
    c.addEventListener("pointerdown", mouse(true));
    c.addEventListener("pointerup", mouse(false));
    this.listenTouches(press);
    c.addEventListener("keydown", (event) => {
      if (event.key.length !== 1 || event.ctrlKey || event.altKey || event.metaKey) return;
      if (event.key.charCodeAt(0) > 127) return; // the commands are ASCII characters
      this.drawing(() => m._orvo_view_key(this.handle, event.key.charCodeAt(0)));
      event.preventDefault();
      this.schedule();
    });
  }

  // One finger moves as the left button drags and taps as it clicks; two fingers turn the view
  // as the right button drags, about the point between them. A finger's press reaches the
  // viewer only once it moves or lifts, so that a second finger can still make it a turn.
  listenTouches(press) {
    const c = this.canvas, m = this.module, touches = new Map();
    let mode = "none"; // "none", "pending" (one finger, still), "move", "turn", "done"
    const middle = () => {
      let x = 0, y = 0;
      for (const [px, py] of touches.values()) { x += px; y += py; }
      return [Math.floor(x / touches.size), Math.floor(y / touches.size)];
    };
    let start = null;
    // The fingers' moves of one touch event arrive one finger at a time: the viewer takes their
    // midpoint once they are all in, so that a turn follows the same path as a mouse's would.
    let pendingTurn = 0;
    const turn = () => {
      pendingTurn = 0;
      const [x, y] = middle();
      this.drawing(() => m._orvo_view_pointer_move(this.handle, x, y, 0, 0));
      this.schedule();
    };
    const flushTurn = () => {
      if (!pendingTurn) return;
      clearTimeout(pendingTurn);
      turn();
    };
    c.addEventListener("pointerdown", (event) => {
      if (event.pointerType !== "touch") return;
      c.setPointerCapture(event.pointerId);
      touches.set(event.pointerId, this.point(event));
      if (touches.size === 1 && mode === "none") {
        mode = "pending";
        start = this.point(event);
      } else if (touches.size === 2 && (mode === "pending" || mode === "move")) {
        const [x, y] = middle();
        if (mode === "move") press(0, false, x, y, 0, 0); // ends the move (it was no click)
        press(2, true, x, y, 0, 0);
        mode = "turn";
      }
      event.preventDefault();
    });
    c.addEventListener("pointermove", (event) => {
      if (event.pointerType !== "touch" || !touches.has(event.pointerId)) return;
      const point = this.point(event);
      touches.set(event.pointerId, point);
      if (mode === "pending" && Math.hypot(point[0] - start[0], point[1] - start[1]) > 3) {
        press(0, true, start[0], start[1], 0, 0);
        mode = "move";
      }
      if (mode === "move") {
        this.drawing(() => m._orvo_view_pointer_move(this.handle, point[0], point[1], 0, 0));
        this.schedule();
      } else if (mode === "turn" && !pendingTurn) {
        pendingTurn = setTimeout(turn, 0);
      }
    });
    const lift = (event) => {
      if (event.pointerType !== "touch" || !touches.has(event.pointerId)) return;
      if (mode === "turn") flushTurn();
      const [x, y] = mode === "turn" ? middle() : touches.get(event.pointerId);
      touches.delete(event.pointerId);
      if (mode === "pending") {
        // A tap: the pointer comes to the spot first, so that the viewer picks there.
        this.drawing(() => m._orvo_view_pointer_move(this.handle, x, y, 0, 0));
        press(0, true, x, y, 0, 0);
        press(0, false, x, y, 0, 0);
      } else if (mode === "move") {
        press(0, false, x, y, 0, 0);
      } else if (mode === "turn") {
        press(2, false, x, y, 0, 0);
      }
      mode = touches.size ? "done" : "none";
    };
    c.addEventListener("pointerup", lift);
    c.addEventListener("pointercancel", lift);
  }

  // The viewer takes only every few motions of a moving pointer; once it stops, the motion it
  // left out is picked, so that the node under a resting pointer is always named.
  rest() {
    if (!this.handle || !this.drawing(() => this.module._orvo_view_pointer_rest(this.handle))) return;
    this.noteHover();
    this.schedule();
  }

  noteHover() {
    const id = this.module.UTF8ToString(this.module._orvo_view_hovered(this.handle));
    if (id === this.hovered) return;
    this.hovered = id;
    if (this.onHover) this.onHover(id);
  }
}

// A slice is 50 ms at most, as in the desktop window, and shrinks, down to 1 ms, while the
// frames take longer than frameMs apart.
OrvoView.maxSliceMs = 50;
OrvoView.minSliceMs = 1;
OrvoView.frameMs = 100;
OrvoView.restMs = 120; // as long as the desktop window waits before it calls a pointer at rest

if (typeof module !== "undefined") module.exports = { OrvoView };
