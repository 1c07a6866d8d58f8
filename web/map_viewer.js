// The published map's viewer, around the page's graph view: the status line names the node
// under the pointer (its label, id, groups and links in and out); a search box finds nodes by part
// of their id or label, best matches first, and flies to the one chosen; the legend of the
// colours hides or shows a group at a click, or shows the ramp of the measure the nodes are
// coloured by; the Links panel lists the selected node's links in and out; a short help lists
// the mouse and the keys. Once the first picture is whole the nodes' measures are worked out
// (workOutMeasures), for the keys M and P and the panel's link scores. The address's fragment
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
    this.startNode = "";
    // "pending", then "ready" or "failed" (measuresError says why). A map that carries them (a
    // published page's pack leaves them out) has them from the start, and the status line says
    // so as it does once they are worked out.
    this.keyStatus = this.text(this.module._orvo_view_measures_message(this.handle));
    this.measures = this.keyStatus ? "ready" : "pending";
    this.measuresError = "";
    this.measuresMs = 0; // how long working them out kept the page busy
    this.build();
    this.links = new OrvoLinksPanel(this);
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
      '<button id="orvo-links-button" type="button" title="The selected node\'s links in and out (Alt+L)" ' +
      'aria-controls="orvo-links">Links</button>' +
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
    // Whatever selected another node (a click, a search, Back, a legend arrow) said so here.
    if (this.links) this.links.follow();
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
      // The value stays in sight however long the node's name is.
      const cut = text.lastIndexOf(": ");
      const named = part("span", "orvo-pointed-text");
      named.append(part("span", "orvo-pointed-name", text.slice(0, cut)), part("span", "orvo-pointed-value", text.slice(cut)));
      pointed.append(swatch, named);
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
    this.links.refresh(); // the link scores
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
      ["Links button, Alt+L", "the selected node's links in and out: a click on a column sorts, a click on a row flies there"],
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
    document.getElementById("orvo-links-button").addEventListener("click", () =>
      this.links.show(this.links.panel.hidden));
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
    if (event.target === this.search || event.target === this.links.filter) return;
    if (event.altKey && (event.key === "ArrowLeft" || event.key === "ArrowRight")) {
      if (event.key === "ArrowLeft") history.back();
      else history.forward();
      event.preventDefault();
    } else if (event.altKey && event.code === "KeyL") {
      this.links.show(this.links.panel.hidden);
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

// The Links panel: the selected node's links in and out, a row each with the node at the other
// end (its label or id, its group's colour and name, its link score) and whether the link comes
// in or goes out; a click on a column's header sorts by it (again: the other way round), the
// filter box keeps the rows whose label or id holds its text, a click on a row flies there. The
// rows live in the module: the panel asks only for those in sight, so that a node with a million
// links in lists at once.
class OrvoLinksPanel {
  constructor(viewer) {
    this.viewer = viewer;
    this.module = viewer.module;
    this.handle = viewer.handle;
    this.listed = null; // the id of the node listed; null before the panel lists any
    this.sorted = null; // { column, ascending } once a column is chosen
    this.build();
  }

  build() {
    const panel = document.createElement("div");
    panel.id = "orvo-links";
    panel.hidden = true;
    panel.setAttribute("role", "region");
    panel.setAttribute("aria-label", "Links of the selected node");
    panel.innerHTML =
      '<div class="orvo-links-head"><span id="orvo-links-title"></span>' +
      '<button id="orvo-links-close" type="button" title="Close (Alt+L)">×</button></div>' +
      '<div id="orvo-links-summary"></div>' +
      '<input id="orvo-links-filter" type="search" placeholder="Filter by label or id…" ' +
      'autocomplete="off" spellcheck="false" aria-label="Keep the links whose node\'s label or id holds this">' +
      '<div class="orvo-links-columns"></div>' +
      '<div id="orvo-links-rows" role="list"><div class="orvo-links-spacer"></div></div>';
    document.body.appendChild(panel);
    this.panel = panel;
    this.title = panel.querySelector("#orvo-links-title");
    this.summary = panel.querySelector("#orvo-links-summary");
    this.filter = panel.querySelector("#orvo-links-filter");
    this.scroller = panel.querySelector("#orvo-links-rows");
    this.spacer = panel.querySelector(".orvo-links-spacer");
    const columns = panel.querySelector(".orvo-links-columns");
    for (const [column, title] of OrvoLinksPanel.columns) {
      const button = document.createElement("button");
      button.type = "button";
      button.dataset.column = column;
      button.className = `orvo-links-col orvo-links-col-${column}`;
      button.textContent = title;
      button.title = `Sort by ${title.toLowerCase()} (again: the other way round)`;
      button.addEventListener("click", () => this.sortBy(column));
      columns.appendChild(button);
    }
    panel.querySelector("#orvo-links-close").addEventListener("click", () => this.show(false));
    this.filter.addEventListener("input", () => {
      this.viewer.withText(this.filter.value, (at) => this.module._orvo_view_links_filter(this.handle, at));
      this.render(true);
    });
    this.filter.addEventListener("keydown", (event) => event.stopPropagation()); // no view keys
    this.scroller.addEventListener("scroll", () => this.drawRows());
  }

  show(on) {
    this.panel.hidden = !on;
    if (on) this.follow(true);
    else this.viewer.view.canvas.focus();
  }

  // Lists the selected node's links when it is another than the one listed (or when forced).
  follow(force = false) {
    if (this.panel.hidden) return;
    const m = this.module, id = m.UTF8ToString(m._orvo_view_selected(this.handle));
    if (!force && id === this.listed) return;
    this.listed = id;
    const total = id ? this.viewer.withText(id, (at) => m._orvo_view_links_list(this.handle, at)) : -1;
    if (total >= 0) this.viewer.withText(this.filter.value, (at) => m._orvo_view_links_filter(this.handle, at));
    this.title.textContent = total >= 0
      ? this.viewer.withText(id, (at) => m.UTF8ToString(m._orvo_view_describe(this.handle, at))).split("\t")[0]
      : "No node selected: click one";
    this.render(true);
  }

  // The rows again, where they may have changed in place (the link scores arrived).
  refresh() {
    if (!this.panel.hidden && this.listed) this.follow(true);
  }

  // A new column sorts the way one looks first (names and groups from A, scores from the
  // highest); the column sorted by again, the other way round.
  sortBy(column) {
    const ascending = this.sorted && this.sorted.column === column ? !this.sorted.ascending : column !== 3;
    this.sorted = { column, ascending };
    this.module._orvo_view_links_sort(this.handle, column, ascending ? 1 : 0);
    for (const button of this.panel.querySelectorAll(".orvo-links-col")) {
      const here = Number(button.dataset.column) === column;
      button.classList.toggle("orvo-sorted", here);
      button.dataset.order = here ? (ascending ? "up" : "down") : "";
    }
    this.render(true);
  }

  render(toTop) {
    const m = this.module;
    const size = this.listed ? m._orvo_view_links_size(this.handle) : 0;
    this.size = size;
    this.summary.textContent = this.listed ? m.UTF8ToString(m._orvo_view_links_summary(this.handle)) : "";
    this.spacer.style.height = `${size * OrvoLinksPanel.rowPx}px`;
    if (toTop) this.scroller.scrollTop = 0;
    this.drawRows();
  }

  // Only the rows in sight (and one more) are made, placed where they lie in the whole list.
  drawRows() {
    const m = this.module, px = OrvoLinksPanel.rowPx;
    for (const row of this.scroller.querySelectorAll(".orvo-link-row")) row.remove();
    if (!this.size) return;
    const first = Math.min(Math.floor(this.scroller.scrollTop / px), this.size - 1);
    const count = Math.ceil(this.scroller.clientHeight / px) + 1;
    const lines = m.UTF8ToString(m._orvo_view_links_rows(this.handle, first, count)).split("\n");
    lines.forEach((line, i) => {
      if (!line) return;
      const [id, direction, name, group, colour, score] = line.split("\t");
      const row = document.createElement("div");
      row.className = "orvo-link-row";
      row.setAttribute("role", "listitem");
      row.dataset.id = id;
      row.dataset.index = String(first + i);
      row.style.top = `${(first + i) * px}px`;
      row.title = `${name}: fly there`;
      const cell = (className, text) => {
        const span = document.createElement("span");
        span.className = className;
        if (text !== undefined) span.textContent = text;
        return span;
      };
      // A site's ids share their start: the end, which tells them apart, is always shown.
      const nameCell = cell("orvo-link-name");
      const cut = Math.max(name.length - OrvoLinksPanel.keptEnd, 0);
      nameCell.append(cell("orvo-link-name-start", name.slice(0, cut)), cell("orvo-link-name-end", name.slice(cut)));
      const swatch = cell("orvo-swatch");
      swatch.style.setProperty("--colour", colour);
      const groupCell = cell("orvo-link-group");
      groupCell.append(swatch, cell("orvo-link-group-name", group));
      row.append(nameCell, groupCell, cell("orvo-link-score", score), cell("orvo-link-direction", direction));
      row.addEventListener("click", () => this.choose(id));
      this.scroller.appendChild(row);
    });
  }

  // A click on a row: to that node, as a click on it in the view; the panel then lists its links.
  choose(id) {
    if (!this.viewer.travel(id)) {
      this.viewer.note(`${this.viewer.missing(id)}: show its group to fly to it.`);
      return;
    }
    this.viewer.remember(id);
  }
}

// The columns left to right, by the module's numbers: 0 in or out, 1 name, 2 group, 3 score.
OrvoLinksPanel.columns = [[1, "Node"], [2, "Group"], [3, "Link score"], [0, "Link"]];
OrvoLinksPanel.rowPx = 22; // as .orvo-link-row's height
OrvoLinksPanel.keptEnd = 14; // characters of a name always shown at its end

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
.orvo-pointed-text { display: flex; min-width: 0; white-space: nowrap; }
.orvo-pointed-name { overflow: hidden; text-overflow: ellipsis; min-width: 0; }
.orvo-pointed-value { flex: none; }
#orvo-links { position: absolute; left: 8px; top: 44px; bottom: 36px; width: min(32em, 46vw);
  display: flex; flex-direction: column; background: rgba(255, 255, 255, 0.96); color: #111;
  border-radius: 4px; box-shadow: 0 2px 8px rgba(0, 0, 0, 0.4); font-size: 0.92em; }
.orvo-links-head { display: flex; align-items: center; gap: 4px; padding: 4px 8px 0; font-weight: 600; }
#orvo-links-title { flex: 1; overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
#orvo-links-close { border: 0; background: none; font: inherit; font-size: 1.2em; cursor: pointer; }
#orvo-links-summary { padding: 0 8px 2px; color: #555; }
#orvo-links-filter { margin: 0 8px 4px; font: inherit; padding: 2px 6px; border: 1px solid #888; border-radius: 3px; }
.orvo-links-columns, .orvo-link-row { display: grid; grid-template-columns: minmax(0, 1fr) 7em 5.5em 2.5em;
  gap: 6px; padding: 0 8px; }
.orvo-links-columns { border-bottom: 1px solid #bbb; }
.orvo-links-col { border: 0; background: none; font: inherit; font-weight: 600; text-align: left;
  padding: 2px 0; cursor: pointer; white-space: nowrap; overflow: hidden; }
.orvo-links-col-3 { text-align: right; }
.orvo-links-col[data-order="up"]::after { content: " ▲"; }
.orvo-links-col[data-order="down"]::after { content: " ▼"; }
#orvo-links-rows { position: relative; flex: 1; overflow-y: auto; }
.orvo-links-spacer { width: 1px; }
.orvo-link-row { position: absolute; left: 0; right: 0; height: 22px; align-items: center; cursor: pointer;
  box-sizing: border-box; white-space: nowrap; }
.orvo-link-row:hover { background: #dde6ee; }
.orvo-link-name { display: flex; min-width: 0; }
.orvo-link-name-start { overflow: hidden; text-overflow: ellipsis; min-width: 0; }
.orvo-link-name-end { flex: none; }
.orvo-link-group { display: flex; align-items: center; gap: 4px; min-width: 0; }
.orvo-link-group-name { overflow: hidden; text-overflow: ellipsis; }
.orvo-link-score { text-align: right; font-variant-numeric: tabular-nums; }
.orvo-link-direction { color: #555; }
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

if (typeof module !== "undefined") module.exports = { OrvoMapViewer, OrvoLinksPanel };
