// The published map's viewer, around the page's graph view: the status line names the node
// under the pointer (its label, id, groups and links in and out); a search box finds nodes by part
// of their id or label, best matches first, and flies to the one chosen; the legend of the
// colours hides or shows a group at a click, or shows the ramp of the measure the nodes are
// coloured by; a short help lists the mouse and the keys. Once the first picture is whole the
// nodes' measures are worked out (workOutMeasures), for the keys M and P. The address's fragment
// (#node=ID) names the node travelled to, so that a copied address opens the map there, and the
// browser's Back and Forward travel between the nodes visited, as Alt+Left and Alt+Right do.
//
//   const viewer = new OrvoMapViewer(map);   // once map.module and map.view hold the graph
//   viewer.travel(id)                         // fly to a node, as a click does; false if none
//   viewer.startNode                          // the node the fragment named, when it was found
"use strict";

class OrvoMapViewer {
  constructor(map) {
    this.map = map;
    this.module = map.module;
    this.view = map.view;
    this.handle = map.view.handle;
    this.keyStatus = "";
    this.startNode = "";
    this.measures = "pending"; // then "ready", or "failed" (measuresError says why)
    this.measuresError = "";
    this.measuresMs = 0; // how long working them out kept the page busy
    this.build();
    this.listen();
    this.showLegend(this.checked("G"));
    this.startFromAddress();
    this.showStatus();
  }

  // --- calls into the module, with text in and out -------------------------------------------

  withText(text, call) {
    const m = this.module, size = text.length * 4 + 1, at = m._malloc(size);
    m.stringToUTF8(text, at, size);
    try {
      return call(at);
    } finally {
      m._free(at);
    }
  }

  text(pointer) {
    return this.module.UTF8ToString(pointer);
  }

  checked(key) {
    return this.module._orvo_view_key_checked(this.handle, key.charCodeAt(0)) !== 0;
  }

  // --- the address's fragment ----------------------------------------------------------------

  // The node a fragment names ("#node=ID", the id percent-encoded), or "" for none.
  static nodeOf(hash) {
    for (const part of hash.replace(/^#/, "").split("&")) {
      if (!part.startsWith("node=")) continue;
      try {
        return decodeURIComponent(part.slice(5));
      } catch {
        return part.slice(5); // not valid percent-encoding: the text as it stands
      }
    }
    return "";
  }

  static fragmentOf(id) {
    return "#node=" + encodeURIComponent(id);
  }

  // Opens at the node the address names, else at the start view with a note saying why.
  startFromAddress() {
    const id = OrvoMapViewer.nodeOf(location.hash);
    if (!id) return;
    if (this.withText(id, (at) => this.module._orvo_view_goto(this.handle, at))) {
      this.startNode = id;
      history.replaceState({ node: id }, "", OrvoMapViewer.fragmentOf(id));
    } else {
      this.note(`${this.missing(id)}: the map opens at its start view.`);
    }
  }

  // Why there is no travelling to the node: no node has the id, or it is hidden.
  missing(id) {
    const known = this.withText(id, (at) => this.text(this.module._orvo_view_describe(this.handle, at)));
    return known ? `The node “${id}” is hidden` : `No node of this map has the id “${id}”`;
  }

  // A travel the user made: a new entry in the browser's history, unless it is the current one.
  remember(id) {
    if (!id || OrvoMapViewer.nodeOf(location.hash) === id) return;
    history.pushState({ node: id }, "", OrvoMapViewer.fragmentOf(id));
  }

  // Flies to the node as a click on it does; false (and nothing changes) when no shown node has
  // the id.
  travel(id) {
    const ok = this.withText(id, (at) => this.module._orvo_view_travel(this.handle, at)) !== 0;
    if (ok) {
      this.view.schedule();
      this.keyStatus = this.text(this.module._orvo_view_key_message(this.handle)); // "Flying to …"
      this.showStatus();
    }
    return ok;
  }

  // --- the page's parts ----------------------------------------------------------------------

  build() {
    const style = document.createElement("style");
    style.textContent = OrvoMapViewer.css;
    document.head.appendChild(style);
    const tools = document.createElement("div");
    tools.id = "orvo-tools";
    tools.innerHTML =
      '<input id="orvo-search" type="search" placeholder="Find a node…" autocomplete="off" ' +
      'spellcheck="false" aria-label="Find a node by part of its id or label" ' +
      'aria-controls="orvo-matches">' +
      '<button id="orvo-help-button" type="button" title="Mouse and keys (?)">?</button>' +
      '<ol id="orvo-matches" role="listbox" hidden></ol>';
    document.body.appendChild(tools);
    const legend = document.createElement("div");
    legend.id = "orvo-legend";
    legend.hidden = true;
    document.body.appendChild(legend);
    const help = document.createElement("div");
    help.id = "orvo-help";
    help.hidden = true;
    help.setAttribute("role", "dialog");
    document.body.appendChild(help);
    const note = document.createElement("div");
    note.id = "orvo-note";
    note.hidden = true;
    note.setAttribute("role", "status");
    document.body.appendChild(note);
    this.search = document.getElementById("orvo-search");
    this.matches = document.getElementById("orvo-matches");
    this.legend = legend;
    this.help = help;
    this.noteBox = note;
    this.fillHelp();
  }

  note(text) {
    this.noteBox.textContent = text;
    this.noteBox.hidden = false;
    clearTimeout(this.noteTimer);
    this.noteTimer = setTimeout(() => (this.noteBox.hidden = true), 10000);
  }

  // The status line: the node under the pointer, else what the last key did, else the counts.
  showStatus() {
    const line = document.getElementById("orvo-status");
    if (!line) return;
    const hovered = this.view.hovered;
    if (hovered) {
      const [name, groups, links] = this.withText(hovered, (at) =>
        this.text(this.module._orvo_view_describe(this.handle, at))).split("\t");
      line.textContent = [name, groups, links].filter(Boolean).join(" — ");
    } else {
      line.textContent = this.keyStatus || this.text(this.module._orvo_view_counts(this.handle));
    }
  }

  // --- the legend ----------------------------------------------------------------------------

  showLegend(on) {
    this.legend.hidden = !on;
    if (on) this.fillLegend();
  }

  fillLegend() {
    if (this.fillMeasureLegend()) return;
    const lines = this.text(this.module._orvo_view_legend(this.handle)).split("\n").filter(Boolean);
    if (!lines.length) return;
    const [kind, title] = lines[0].split("\t");
    this.legend.replaceChildren();
    const heading = document.createElement("div");
    heading.className = "orvo-legend-title";
    heading.textContent = title;
    this.legend.appendChild(heading);
    lines.slice(1).forEach((line, index) => {
      const [row, name, nodes, colour, hidden] = line.split("\t");
      const holder = document.createElement("div");
      holder.className = "orvo-legend-line";
      const entry = document.createElement("button");
      entry.className = "orvo-legend-row" + (hidden === "1" ? " orvo-hidden" : "");
      entry.dataset.kind = kind;
      entry.dataset.group = row === "group" ? name : "";
      entry.dataset.row = row;
      const swatch = document.createElement("span");
      swatch.className = "orvo-swatch";
      swatch.style.setProperty("--colour", colour);
      const label = document.createElement("span");
      label.className = "orvo-legend-name";
      label.textContent = row === "other" ? "other" : row === "none" ? "no group" : name;
      const count = document.createElement("span");
      count.className = "orvo-legend-count";
      count.textContent = Number(nodes).toLocaleString("en").replace(/,/g, " ");
      entry.append(swatch, label, count);
      entry.type = "button";
      const what = row === "group" ? `the group ${name}` : row === "other" ? "the groups under “other”"
        : "the nodes without a group";
      entry.title = hidden === "1" ? `Show ${what}` : `Hide ${what}`;
      entry.addEventListener("click", () => this.legendClick(index));
      const next = document.createElement("button");
      next.type = "button";
      next.className = "orvo-legend-next";
      next.textContent = "›";
      next.title = `Fly to the next node of ${what}`;
      next.disabled = hidden === "1";
      next.addEventListener("click", () => this.legendNext(index));
      holder.append(entry, next);
      this.legend.appendChild(holder);
    });
  }

  // The legend of the measure the nodes are coloured by: its title, the ramp with the values at
  // its ends, and the node under the pointer, its value marked on the ramp. False while they
  // are coloured by their groups.
  fillMeasureLegend() {
    const lines = this.text(this.module._orvo_view_measure_legend(this.handle)).split("\n");
    this.measureLegendShown = lines[0] !== "";
    if (!this.measureLegendShown) return false;
    const [title, low, high] = lines[0].split("\t");
    const ramp = lines[1].split(" ");
    const part = (tag, className, text) => {
      const element = document.createElement(tag);
      element.className = className;
      if (text !== undefined) element.textContent = text;
      return element;
    };
    const box = part("div", "orvo-measure");
    const bar = part("div", "orvo-ramp");
    bar.style.background = `linear-gradient(to right, ${ramp.join(", ")})`;
    const ends = part("div", "orvo-ramp-ends");
    ends.append(part("span", "orvo-ramp-low", low), part("span", "orvo-ramp-high", high));
    box.append(part("div", "orvo-legend-title", title), bar, ends);
    const pointed = part("div", "orvo-pointed");
    if (lines[2]) {
      const [text, colour, position] = lines[2].split("\t");
      const mark = part("span", "orvo-ramp-mark");
      mark.style.left = `${(100 * Number(position)).toFixed(2)}%`;
      bar.appendChild(mark);
      const swatch = part("span", "orvo-swatch");
      swatch.style.setProperty("--colour", colour);
      pointed.append(swatch, part("span", "orvo-pointed-text", text));
    } else {
      pointed.textContent = "Point at a node for its value";
    }
    box.appendChild(pointed);
    this.legend.replaceChildren(box);
    return true;
  }

  // --- the measures --------------------------------------------------------------------------

  // Works the nodes' measures out, once: the page has no threads to spare, so this keeps it busy
  // for a while (measuresMs; about 1 s a million nodes), and runs only after the first whole
  // picture, once the status line says so. Resolves when they are there (or could not be).
  async workOutMeasures() {
    if (this.measures !== "pending" || this.working) return;
    this.working = true;
    const line = document.getElementById("orvo-status");
    if (line && !this.view.hovered) line.textContent = "Working out the measures…";
    // The status line is painted before the work starts.
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
    const started = performance.now();
    const ok = this.module._orvo_view_work_out_measures(this.handle) !== 0;
    this.measuresMs = performance.now() - started;
    this.working = false;
    if (ok) {
      this.measures = "ready";
      this.keyStatus = this.text(this.module._orvo_view_measures_message(this.handle));
    } else {
      this.measures = "failed";
      this.measuresError = this.text(this.module._orvo_view_measures_error(this.handle));
      this.keyStatus = `No measures: ${this.measuresError}`;
    }
    if (!this.legend.hidden) this.fillLegend();
    this.showStatus();
    this.view.schedule();
  }

  // A click on a row of the legend: its nodes hidden (small grey dots, what hangs below them
  // kept) or shown again.
  legendClick(index) {
    this.module._orvo_view_legend_click(this.handle, index);
    this.keyStatus = this.text(this.module._orvo_view_key_message(this.handle));
    this.fillLegend();
    this.showStatus();
    this.view.schedule();
  }

  // The arrow beside a row's count: to the row's next node after the one selected.
  legendNext(index) {
    if (this.module._orvo_view_legend_next(this.handle, index)) {
      this.view.schedule();
      this.remember(this.text(this.module._orvo_view_selected(this.handle)));
    }
    this.keyStatus = this.text(this.module._orvo_view_key_message(this.handle));
    this.showStatus();
  }

  // --- the help ------------------------------------------------------------------------------

  fillHelp() {
    const rows = [
      ["Mouse and touch", null],
      ["click or tap a node", "fly to it (it is selected; click again: unselect)"],
      ["left drag, one finger", "move through the space"],
      ["right drag, Shift+drag, two fingers", "turn the view about its centre"],
      ["pointer over a node", "its id, label, groups and links in and out in the status line"],
      ["double click a web address", "open it in a new tab"],
      ["Page", null],
      ["Find box (/)", "find a node by part of its id or label; Enter flies to it"],
      ["Back / Forward, Alt+Left / Right", "travel back and forth between the nodes visited"],
      ["? / Escape", "this help / close it"],
      ["Keys (in the view)", null],
    ];
    for (const line of this.text(this.module._orvo_view_key_help(this.handle)).split("\n")) {
      if (line) rows.push(line.split("\t"));
    }
    const table = document.createElement("table");
    for (const [keys, action] of rows) {
      const tr = table.insertRow();
      const th = document.createElement("th");
      th.textContent = keys;
      tr.appendChild(th);
      if (action === null) {
        th.colSpan = 2;
        th.className = "orvo-help-section";
      } else {
        tr.insertCell().textContent = action;
      }
    }
    const close = document.createElement("button");
    close.type = "button";
    close.textContent = "Close";
    close.addEventListener("click", () => this.showHelp(false));
    this.help.replaceChildren(table, close);
  }

  showHelp(on) {
    this.help.hidden = !on;
    if (!on) this.view.canvas.focus();
  }

  // --- search --------------------------------------------------------------------------------

  findMatches() {
    const query = this.search.value.trim();
    this.matches.replaceChildren();
    this.chosen = -1;
    if (!query) {
      this.matches.hidden = true;
      return;
    }
    const lines = this.withText(query, (at) =>
      this.text(this.module._orvo_view_search(this.handle, at, 12))).split("\n");
    const total = Number(lines[0]);
    for (const line of lines.slice(1)) {
      if (!line) continue;
      const [id, name] = line.split("\t");
      const item = document.createElement("li");
      item.setAttribute("role", "option");
      item.dataset.id = id;
      item.textContent = name;
      item.title = id;
      item.addEventListener("mousedown", (event) => {
        event.preventDefault(); // keeps the box's focus until the travel
        this.choose(id);
      });
      this.matches.appendChild(item);
    }
    const summary = document.createElement("li");
    summary.className = "orvo-match-count";
    summary.textContent = total === 0 ? "no node matches"
      : total > this.matches.children.length ? `${total.toLocaleString("en").replace(/,/g, " ")} nodes match` : "";
    if (summary.textContent) this.matches.appendChild(summary);
    this.matches.hidden = false;
  }

  markChosen(step) {
    const items = [...this.matches.querySelectorAll("li[data-id]")];
    if (!items.length) return;
    this.chosen = (this.chosen + step + items.length) % items.length;
    items.forEach((item, i) => item.classList.toggle("orvo-chosen", i === this.chosen));
  }

  choose(id) {
    this.matches.hidden = true;
    if (!this.travel(id)) {
      this.note(`${this.missing(id)}: show its group to fly to it.`);
      return;
    }
    this.remember(id);
    this.search.blur();
    this.view.canvas.focus();
  }

  // --- events --------------------------------------------------------------------------------

  listen() {
    const view = this.view, canvas = view.canvas;
    view.onHover = () => {
      this.showStatus();
      if (this.measureLegendShown && !this.legend.hidden) this.fillMeasureLegend(); // names it
    };
    view.onClick = (id) => {
      this.keyStatus = id ? this.text(this.module._orvo_view_key_message(this.handle)) : "";
      if (id && !id.includes("|")) this.remember(id);
      this.showStatus();
    };
    canvas.addEventListener("dblclick", () => {
      const id = view.hovered || this.text(this.module._orvo_view_clicked(this.handle));
      if (/^https?:\/\//i.test(id)) OrvoMapViewer.openAddress(id);
    });
    // After the view's own key handler has passed the key on.
    canvas.addEventListener("keydown", (event) => this.onViewKey(event));
    document.addEventListener("keydown", (event) => this.onPageKey(event));
    // Back and Forward: to the node the entry names; the first entry, which names none, is the
    // map's start (its start node, else the top node).
    window.addEventListener("popstate", (event) => {
      const id = (event.state && event.state.node) || OrvoMapViewer.nodeOf(location.hash) ||
        (this.map.options && this.map.options.start) || this.text(this.module._orvo_view_top(this.handle));
      if (id && !this.travel(id)) this.note(`${this.missing(id)}.`);
    });
    // A drag moves the centre to another node: the address follows, with no new history entry.
    let dragged = false;
    canvas.addEventListener("pointerdown", () => (dragged = false));
    canvas.addEventListener("pointermove", (event) => {
      if (event.buttons) dragged = true;
    });
    canvas.addEventListener("pointerup", async () => {
      if (!dragged) return;
      dragged = false;
      await view.settled();
      const centre = this.text(this.module._orvo_view_centre(this.handle));
      if (centre && OrvoMapViewer.nodeOf(location.hash) !== centre)
        history.replaceState({ node: centre }, "", OrvoMapViewer.fragmentOf(centre));
    });
    this.search.addEventListener("input", () => this.findMatches());
    this.search.addEventListener("keydown", (event) => {
      if (event.key === "ArrowDown" || event.key === "ArrowUp") {
        this.markChosen(event.key === "ArrowDown" ? 1 : -1);
        event.preventDefault();
      } else if (event.key === "Enter") {
        if (this.matches.hidden) this.findMatches();
        const items = this.matches.querySelectorAll("li[data-id]");
        const item = items[Math.max(this.chosen, 0)];
        if (item) this.choose(item.dataset.id);
        event.preventDefault();
      } else if (event.key === "Escape") {
        this.matches.hidden = true;
        canvas.focus();
      }
      event.stopPropagation(); // typing a query is no key command
    });
    this.search.addEventListener("blur", () => setTimeout(() => (this.matches.hidden = true), 150));
    document.getElementById("orvo-help-button").addEventListener("click", () =>
      this.showHelp(this.help.hidden));
  }

  onViewKey(event) {
    if (event.key.length !== 1 || event.ctrlKey || event.altKey || event.metaKey) return;
    const key = event.key;
    if (key === "?" || key === "/") return; // the page's own, below
    this.keyStatus = this.text(this.module._orvo_view_key_message(this.handle));
    // M colours by a measure and turns the legend on for its ramp.
    if (key === "G" || key === "M") this.showLegend(this.checked("G"));
    else if (!this.legend.hidden) this.fillLegend(); // g colours by the other kind, m hides groups
    if (key === "c") this.remember(this.text(this.module._orvo_view_top(this.handle)));
    this.showStatus();
  }

  onPageKey(event) {
    if (event.target === this.search) return;
    if (event.altKey && (event.key === "ArrowLeft" || event.key === "ArrowRight")) {
      if (event.key === "ArrowLeft") history.back();
      else history.forward();
      event.preventDefault();
    } else if (event.key === "?") {
      this.showHelp(this.help.hidden);
    } else if (event.key === "Escape") {
      this.showHelp(false);
    } else if (event.key === "/" && !event.ctrlKey && !event.altKey) {
      this.search.focus();
      event.preventDefault();
    }
  }

  // Opens a web address in a new tab that cannot reach back into the map.
  static openAddress(address) {
    const link = document.createElement("a");
    link.href = address;
    link.target = "_blank";
    link.rel = "noopener noreferrer";
    document.body.appendChild(link);
    link.click();
    link.remove();
  }
}

OrvoMapViewer.css = `
#orvo-tools { position: absolute; top: 8px; left: 8px; display: flex; gap: 4px; width: min(26em, 60vw); }
#orvo-search { flex: 1; font: inherit; padding: 3px 6px; border: 1px solid #888; border-radius: 3px;
  background: rgba(255, 255, 255, 0.92); color: #111; }
#orvo-help-button { font: inherit; font-weight: 700; width: 2em; border: 1px solid #888;
  border-radius: 3px; background: rgba(255, 255, 255, 0.92); color: #111; cursor: pointer; }
#orvo-matches { position: absolute; top: 100%; left: 0; right: 2.3em; margin: 2px 0 0; padding: 0;
  list-style: none; background: #fff; color: #111; border: 1px solid #888; border-radius: 3px;
  max-height: 60vh; overflow-y: auto; box-shadow: 0 2px 8px rgba(0, 0, 0, 0.4); }
#orvo-matches li { padding: 2px 6px; cursor: pointer; white-space: nowrap; overflow: hidden;
  text-overflow: ellipsis; }
#orvo-matches li[data-id]:hover, #orvo-matches li.orvo-chosen { background: #cde; }
#orvo-matches li.orvo-match-count { color: #666; font-style: italic; cursor: default; }
#orvo-legend { position: absolute; top: 8px; right: 8px; max-height: calc(100% - 60px); overflow-y: auto;
  background: rgba(255, 255, 255, 0.92); color: #111; border-radius: 4px; padding: 4px 0;
  min-width: 12em; box-shadow: 0 2px 8px rgba(0, 0, 0, 0.4); }
.orvo-legend-title { font-weight: 600; padding: 2px 8px 4px; }
.orvo-legend-row { display: flex; align-items: center; gap: 6px; width: 100%; box-sizing: border-box; padding: 1px 8px;
  border: 0; background: none; color: inherit; font: inherit; text-align: left; }
button.orvo-legend-row { cursor: pointer; }
button.orvo-legend-row:hover { background: #dde6ee; }
.orvo-swatch { width: 0.9em; height: 0.9em; flex: none; background: var(--colour);
  border: 2px solid var(--colour); box-sizing: border-box; box-shadow: 0 0 0 1px rgba(0, 0, 0, 0.45); }
.orvo-hidden .orvo-swatch { background: none; }
.orvo-hidden .orvo-legend-name { color: #999; }
.orvo-legend-name { flex: 1; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; max-width: 18em; }
.orvo-legend-count { flex: none; color: #555; font-variant-numeric: tabular-nums; }
.orvo-legend-line { display: flex; align-items: stretch; }
.orvo-legend-next { border: 0; background: none; color: #333; font: inherit; font-weight: 700;
  padding: 0 8px 0 2px; cursor: pointer; }
.orvo-legend-next:hover { background: #dde6ee; }
.orvo-legend-next:disabled { color: #bbb; cursor: default; background: none; }
.orvo-measure { padding: 0 8px 2px; width: 16em; }
.orvo-ramp { position: relative; height: 0.9em; border: 1px solid #555; }
.orvo-ramp-mark { position: absolute; top: -3px; bottom: -3px; width: 2px; margin-left: -1px;
  background: #e00; }
.orvo-ramp-ends { display: flex; justify-content: space-between; color: #555; font-size: 0.9em;
  font-variant-numeric: tabular-nums; }
.orvo-pointed { display: flex; align-items: center; gap: 6px; padding-top: 2px; }
.orvo-pointed-text { overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
#orvo-help { position: absolute; left: 50%; top: 50%; transform: translate(-50%, -50%); max-height: 85%;
  width: min(44em, 92vw); box-sizing: border-box; overflow-y: auto; background: #fff; color: #111; padding: 0.8em 1.2em; border-radius: 4px;
  box-shadow: 0 2px 12px rgba(0, 0, 0, 0.6); }
#orvo-help table { border-collapse: collapse; width: 100%; }
#orvo-help th, #orvo-help td { vertical-align: top; }
#orvo-help th { text-align: left; font-weight: 600; padding: 1px 1.2em 1px 0; width: 38%;
  font-family: ui-monospace, monospace; font-size: 0.92em; }
#orvo-help th.orvo-help-section { font-family: inherit; font-size: 1em; padding-top: 0.6em; }
#orvo-help td { padding: 1px 0; }
#orvo-help button { margin-top: 0.6em; font: inherit; }
#orvo-note { position: absolute; left: 50%; top: 8px; transform: translateX(-50%); max-width: 40em;
  background: #fff8d0; color: #222; border-left: 5px solid #d90; padding: 4px 10px; border-radius: 3px; }
`;

if (typeof module !== "undefined") module.exports = { OrvoMapViewer };
