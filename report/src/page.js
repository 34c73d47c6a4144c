// The page: reads the picked files, checks them completely, and only then draws the report, so a
// bad file never leaves half a page behind.
(function () {
  "use strict";
  const A = window.DriftglassAnalysis;
  const $ = (id) => document.getElementById(id);
  // Recordings A and B: { trace, summary, log, names } each; A alone may be a log without a trace.
  // trace, summary and log name A's, as before there was a B.
  const state = {
    a: null, b: null,
    get trace() { return this.a && this.a.trace; },
    get summary() { return this.a && this.a.summary; },
    get log() { return this.a && this.a.log; },
  };
  let charts = [];
  window.driftglassCharts = charts;

  const COLORS = ["#d9482b", "#2b6fd9", "#1f9e55", "#9b4dca", "#c28f00", "#00a3a3", "#e0628f",
                  "#5b6b82", "#7a5230"];
  // Stretches drawn without corrections: grey in one recording, each recording's own tint when
  // two share a chart.
  const SHADE = "rgba(91, 107, 130, 0.16)";
  const SHADES = ["rgba(217, 72, 43, 0.13)", "rgba(43, 111, 217, 0.13)"];

  function message(kind, text) {
    const p = document.createElement("p");
    p.className = kind;
    p.textContent = text;
    $("messages").appendChild(p);
  }

  function clearReport() {
    for (const chart of charts) chart.destroy();
    charts.length = 0;
    $("charts").textContent = "";
    $("report").hidden = true;
  }

  function readText(file) {
    return new Promise((resolve, reject) => {
      const reader = new FileReader();
      reader.onload = () => resolve(reader.result);
      reader.onerror = () => reject(reader.error);
      reader.readAsText(file);
    });
  }

  function failure(name, error) {
    message("error", `${name ? name + ": " : ""}${error instanceof A.InputError ? error.message
                                                   : "could not be read (" + error + ")."}`);
  }

  // Parses every picked file and sorts them into recordings; null, with the reasons shown, when
  // any file is unusable.
  async function readRecordings(fileList) {
    const traces = [], logs = [], notes = [];
    let failed = false;
    for (const file of Array.from(fileList)) {
      try {
        const text = await readText(file);
        if (text.length === 0) throw new A.InputError("The file is empty.");
        if (A.classify(text) === "log") {
          logs.push({ name: file.name, log: A.parseLog(text) });
        } else {
          // Anything that is not a log must be a trace; parseTrace explains what is wrong.
          const trace = A.parseTrace(text);
          traces.push({ name: file.name, trace });
          for (const note of trace.notes) notes.push(`${file.name}: ${note}`);
        }
      } catch (error) {
        failed = true;
        failure(file.name, error);
      }
    }
    if (failed) return null;
    try {
      const recordings = A.pairRecordings(traces, logs);
      for (const r of recordings) r.summary = r.trace ? A.summarize(r.trace, r.log) : null;
      return { recordings, notes };
    } catch (error) {
      failure("", error);
      return null;
    }
  }

  // Files for the report as a whole: one recording, or two to compare. A bad file leaves the report
  // empty rather than half drawn.
  async function loadFiles(fileList) {
    $("messages").textContent = "";
    document.body.dataset.state = "loading";
    clearReport();
    const read = await readRecordings(fileList);
    if (!read) {
      state.a = state.b = null;
      showRecordings();
      document.body.dataset.state = "error";
      return;
    }
    state.a = read.recordings[0] || null;
    state.b = read.recordings[1] || null;
    for (const note of read.notes) message("note", note);
    render();
    document.body.dataset.state = "ready";
  }

  // Files for recording B only; a bad file leaves A and any earlier B as they were.
  async function loadB(fileList) {
    $("messages").textContent = "";
    document.body.dataset.state = "loading";
    let read = await readRecordings(fileList);
    if (read && (read.recordings.length !== 1 || !read.recordings[0].trace)) {
      message("error", "For recording B, pick one motion trace, and its log if you like.");
      read = null;
    }
    if (!read) {
      document.body.dataset.state = "error";
      return;
    }
    state.b = read.recordings[0];
    for (const note of read.notes) message("note", note);
    rerender();
  }

  function rerender() {
    clearReport();
    render();
    document.body.dataset.state = "ready";
  }

  function cell(row, tag, text, className) {
    const c = document.createElement(tag);
    c.textContent = text;
    if (className) c.className = className;
    row.appendChild(c);
    return c;
  }

  function fillTable(table, model, differenceLast) {
    table.textContent = "";
    table.className = "summary";
    if (model.titles.length > 1) {
      const head = document.createElement("tr");
      head.className = "titles";
      cell(head, "th", "");
      for (const title of model.titles) cell(head, "th", title);
      table.appendChild(head);
    }
    for (const row of model.rows) {
      const tr = document.createElement("tr");
      tr.dataset.label = row.label;
      cell(tr, "th", row.label);
      row.cells.forEach((text, i) => cell(tr, "td", text,
        differenceLast && i === row.cells.length - 1 ? "value difference" : "value"));
      table.appendChild(tr);
    }
    // Which stretches a set of settings covers, folded: a long session has many.
    if (model.stretches.some(Boolean)) {
      const tr = document.createElement("tr");
      tr.className = "stretches";
      cell(tr, "th", "Stretches");
      for (const list of model.stretches) {
        const td = cell(tr, "td", "");
        if (!list) continue;
        const details = td.appendChild(document.createElement("details"));
        cell(details, "summary", `${list.length} stretch${list.length === 1 ? "" : "es"}`);
        const items = details.appendChild(document.createElement("ul"));
        for (const stretch of list) cell(items, "li", A.stretchText(stretch));
      }
      table.appendChild(tr);
    }
    return model;
  }

  function notice(text) {
    cell($("notices"), "p", text, "notice");
  }

  function renderSummary() {
    const { a, b } = state;
    const traced = [a, b].filter((r) => r && r.summary);
    const model = b ? fillTable($("summary"), A.comparisonTable(a, b), true)
                    : fillTable($("summary"), A.recordingTable(a.summary, a.log), false);
    const parts = $("summary-parts");
    parts.textContent = "";
    if (b) {
      for (const [name, r] of [["A", a], ["B", b]]) {
        if (!r.summary.parts && !r.summary.settings) continue;
        cell(parts, "h3", `Recording ${name} ${A.partsHeading(r.summary)}`);
        fillTable(parts.appendChild(document.createElement("table")),
                  A.recordingTable(r.summary, r.log), false);
      }
    }
    $("parts-hint").hidden = !traced.some((r) => r.summary.parts || r.summary.settings);

    $("notices").textContent = "";
    const named = (i) => (b ? ` in recording ${i === 0 ? "A" : "B"}` : " in this trace");
    if (!model.camera) {
      notice(`Camera interpolation was off${b ? " in both recordings" : " in this trace"}: only timing is shown.`);
    } else if (b) {
      traced.forEach((r, i) => {
        if (!r.summary.cameraInterpolation) {
          notice(`Camera interpolation was off${named(i)}: its animation error is that of the game's own ticks.`);
        }
      });
    }
    traced.forEach((r, i) => {
      if (r.summary.settings && r.summary.settings.note) notice((b ? `Recording ${"AB"[i]}: ` : "") + r.summary.settings.note);
      if (r.summary.series.uncorrectedFrames === r.summary.frames) {
        notice(`Every frame${named(i)} was drawn without corrections (the compare key was on throughout).`);
      }
    });
  }

  const TELEMETRY_COLUMNS = [
    ["Interval s", (f) => f.interval.toFixed(3)],
    ["Render unlock", (f) => f.RenderUnlock],
    ["Ticks", (f) => f.ticks],
    ["Frames", (f) => f.OnDraw],
    ["Mean ms", (f) => f["FrameCadence.meanMs"]],
    ["p99 ms", (f) => f["FrameCadence.p99Ms"]],
    ["Max ms", (f) => f["FrameCadence.maxMs"]],
    ["Long gaps", (f) => f["FrameCadence.longGap"]],
    ["Camera applied", (f) => f["Camera.applied"]],
    ["Camera invalid", (f) => f["Camera.invalid"]],
    ["Clamped old/new", (f) => f["Clock.clampOld"] === undefined ? undefined
                                   : `${f["Clock.clampOld"]}/${f["Clock.clampNew"]}`],
    ["Clock resets", (f) => f["Clock.resets"]],
    ["Trace dropped (total)", (f) => f.traceDropped],
  ];

  function renderLog(log, name) {
    const section = document.createElement("section");
    cell(section, "h2", name ? `Start-up: recording ${name}` : "Start-up");
    const box = document.createElement("div");
    box.className = `outcome ${log.outcome.kind}`;
    cell(box, "strong", log.outcome.title);
    if (log.outcome.reason) cell(box, "p", `Reason: ${log.outcome.reason}`);
    if (log.outcome.advice) cell(box, "p", `What you can do: ${log.outcome.advice}`);
    cell(box, "p", `Latest start at ${log.startedAt} (version ${log.version}; ` +
                   `${log.starts} start${log.starts === 1 ? "" : "s"} in this log).`);
    for (const warning of log.warnings) cell(box, "p", `Warning: ${warning}`);
    if (log.settings.lines.length > 0) {
      const details = box.appendChild(document.createElement("details"));
      details.className = "settings-lines";
      cell(details, "summary", `While the game ran: ${A.settingsCountText(log.settings)}`);
      const list = details.appendChild(document.createElement("ol"));
      for (const line of log.settings.lines) cell(list, "li", `${line.time} ${line.text}`, line.level.toLowerCase());
    }
    section.appendChild(box);

    cell(section, "h3", "Active features");
    const list = section.appendChild(document.createElement("ul"));
    if (log.features.length === 0) cell(list, "li", "None.");
    for (const feature of log.features) cell(list, "li", feature.name).title = feature.text;

    cell(section, "h3", "Telemetry intervals");
    const wrap = section.appendChild(document.createElement("div"));
    wrap.className = "table-wrap";
    const table = wrap.appendChild(document.createElement("table"));
    table.className = "telemetry";
    $("logs").appendChild(section);
    if (log.intervals.length === 0) {
      cell(table, "caption", "The latest run wrote no telemetry intervals.");
      return;
    }
    const head = document.createElement("tr");
    cell(head, "th", "#");
    for (const [label] of TELEMETRY_COLUMNS) cell(head, "th", label);
    table.appendChild(head);
    log.intervals.forEach((fields, i) => {
      const tr = document.createElement("tr");
      cell(tr, "td", String(i + 1));
      for (const [, get] of TELEMETRY_COLUMNS) {
        const value = get(fields);
        cell(tr, "td", value === undefined ? "" : String(value));
      }
      table.appendChild(tr);
    });
  }

  // Wheel zooms around the pointer; right, middle or Shift + left drag pans.
  function zoomPanPlugin() {
    return {
      hooks: {
        ready(u) {
          const over = u.over;
          over.addEventListener("wheel", (e) => {
            e.preventDefault();
            const { min, max } = u.scales.x;
            const at = u.posToVal(e.offsetX, "x");
            const factor = e.deltaY < 0 ? 0.8 : 1.25;
            u.setScale("x", { min: at - (at - min) * factor, max: at + (max - at) * factor });
          }, { passive: false });
          over.addEventListener("contextmenu", (e) => e.preventDefault());
          over.addEventListener("mousedown", (e) => {
            if (!(e.button === 1 || e.button === 2 || (e.button === 0 && e.shiftKey))) return;
            e.preventDefault();
            e.stopPropagation();
            const start = e.clientX;
            const { min, max } = u.scales.x;
            const perPixel = (max - min) / u.bbox.width * devicePixelRatio;
            const move = (m) => {
              const shift = (m.clientX - start) * perPixel;
              u.setScale("x", { min: min - shift, max: max - shift });
            };
            const up = () => {
              document.removeEventListener("mousemove", move);
              document.removeEventListener("mouseup", up);
            };
            document.addEventListener("mousemove", move);
            document.addEventListener("mouseup", up);
          }, true);
        },
      },
    };
  }

  // Time charts share their x range: zooming one zooms all.
  let syncing = false;
  function syncPlugin() {
    return {
      hooks: {
        setScale(u, key) {
          if (key !== "x" || syncing) return;
          syncing = true;
          for (const other of charts) {
            if (other !== u && other.timeChart) {
              other.setScale("x", { min: u.scales.x.min, max: u.scales.x.max });
            }
          }
          syncing = false;
        },
      },
    };
  }

  // Light bands behind the series over the stretches drawn without corrections; a few changes of
  // settings as full-height lines, many as ticks on a strip above the plot, which keeps the series
  // readable.
  function shadePlugin(bands) {
    const ticks = bands.filter((band) => band.tick);
    return {
      opts(u, opts) {
        if (ticks.length > 0) opts.padding = [TICK_STRIP + 8, null, null, null];
      },
      hooks: {
        draw(u) {
          if (ticks.length === 0) return;
          const { ctx } = u;
          const ratio = uPlot.pxRatio;
          const { left, top, width } = u.bbox;
          const y = top - (TICK_STRIP + 3) * ratio;
          const height = TICK_STRIP * ratio;
          ctx.save();
          ctx.fillStyle = TICK_STRIP_FILL;
          ctx.fillRect(left, y, width, height);
          ctx.beginPath();
          ctx.rect(left, y, width, height);
          ctx.clip();
          for (const tick of ticks) {
            ctx.fillStyle = tick.color;
            ctx.fillRect(Math.round(u.valToPos(tick.start, "x", true)) - ratio, y, 2 * ratio, height);
          }
          ctx.restore();
        },
        drawClear(u) {
          const { ctx } = u;
          const { left, top, width, height } = u.bbox;
          ctx.save();
          ctx.beginPath();
          ctx.rect(left, top, width, height);
          ctx.clip();
          for (const band of bands) {
            if (band.tick) continue;
            const x0 = u.valToPos(band.start, "x", true);
            const x1 = u.valToPos(band.end, "x", true);
            ctx.fillStyle = band.color;
            // A single frame still shows; a change of settings is a line two pixels wide.
            ctx.fillRect(x0, top, band.start === band.end ? 2 : Math.max(1, x1 - x0), height);
          }
          ctx.restore();
        },
      },
    };
  }

  function withGaps(values) {
    const out = new Array(values.length);
    for (let i = 0; i < values.length; ++i) out[i] = Number.isFinite(values[i]) ? values[i] : null;
    return out;
  }

  function addChart(title, definition, yLabel, series, data, options = {}) {
    const bands = options.bands || [];
    const wrap = document.createElement("section");
    wrap.className = "chart";
    cell(wrap, "h3", title);
    const changes = bands.filter((band) => band.change);
    const ticks = changes.filter((band) => band.tick).length;
    const marks = [changes.length > ticks ? "Lines" : "", ticks ? `Ticks on the strip above the plot (${ticks})` : ""];
    const changeText = changes.length === 0 ? "" : ` ${marks.filter(Boolean).join(" and ")}: the INI's ` +
      "settings changed while the game ran; the summary groups the stretches between changes by settings.";
    cell(wrap, "p", definition + (bands.length > changes.length ? " " + options.bandText : "") + changeText, "definition");
    const holder = document.createElement("div");
    wrap.appendChild(holder);
    $("charts").appendChild(wrap);
    const time = options.time !== false;
    const u = new uPlot({
      width: Math.max(320, $("charts").clientWidth || 900),
      height: 240,
      cursor: { sync: time ? { key: "driftglass" } : undefined, drag: { x: true, y: false } },
      scales: { x: { time: false } },
      axes: [{ label: options.xLabel || "time since the first frame (s)" }, { label: yLabel }],
      series: [{ label: options.xLabel || "time (s)" }].concat(series.map((s, i) => Object.assign(
        { stroke: COLORS[i % COLORS.length], width: 1, points: { show: false }, spanGaps: false }, s))),
      plugins: time ? [shadePlugin(bands), zoomPanPlugin(), syncPlugin()] : [],
    }, data, holder);
    u.timeChart = time;
    u.chartTitle = title;
    u.shaded = bands;
    wrap.dataset.points = String(data[0].length);
    charts.push(u);
    return u;
  }

  // The compare key's stretches as bands, each change of the INI's settings as a line or, when
  // there are more than a few, as a tick.
  function bandsOf(summary, color) {
    const tick = (summary.settings ? summary.settings.stretches.length - 1 : 0) > A.CHANGES_SHOWN_APART;
    return summary.stretches.map(({ start, end }) => ({ start, end, color }))
      .concat(summary.settingsChanges.map(({ time }) => ({ start: time, end: time, color: CHANGE_LINE, change: true, tick })));
  }

  const CHANGE_LINE = "rgba(200, 60, 0, 0.9)";
  const TICK_STRIP = 10;  // CSS pixels
  const TICK_STRIP_FILL = "rgba(91, 107, 130, 0.12)";
  const SHADE_TEXT = "Shaded: frames drawn without corrections (the compare key).";
  const FRAME_TIME = "Display time (qpc_seconds) between each frame and the one before it.";
  const ANIMATION_ERROR = "How far the shown simulation time advanced since the previous frame minus how far display time advanced; 0 is perfectly even motion.";

  // The charts of one recording's own columns; name is "A" or "B" when two are shown.
  function detailCharts(r, name, withTiming) {
    const s = r.summary;
    const c = r.trace.columns;
    const x = s.series.time;
    const suffix = name ? ` (${name})` : "";
    const shade = { bands: bandsOf(s, SHADE), bandText: SHADE_TEXT };
    if (withTiming) {
      addChart("Frame time", FRAME_TIME, "ms", [{ label: "frame time (ms)" }],
               [x, withGaps(s.series.frameMs)], shade);
      if (s.cameraInterpolation) {
        addChart("Animation error", ANIMATION_ERROR, "ms", [{ label: "animation error (ms)" }],
                 [x, withGaps(s.series.errorMs)], shade);
      }
    }
    if (s.cameraInterpolation) {
      addChart("Interpolation fraction" + suffix,
               "The raw fraction of a tick since the newest tick, the phase delay subtracted from it (in ticks), and the fraction used between the two ticks drawn.",
               "ticks", [{ label: "raw_alpha" }, { label: "phase_delay_ticks" }, { label: "alpha" }],
               [x, c.raw_alpha, c.phase_delay_ticks, c.alpha], shade);
      addChart("Camera yaw" + suffix,
               "Yaw as the game computed it at the newest tick (auth), as interpolated between ticks (base) and as finally shown (final).",
               "yaw", [{ label: "auth" }, { label: "base" }, { label: "final" }],
               [x, ...["auth", "base", "final"].map((p) => A.poseSeries(c, p, "yaw"))], shade);
      addChart("Camera position" + suffix,
               "Position as the game computed it at the newest tick (auth), as interpolated (base) and as shown (final); click a legend entry to hide it.",
               "units", ["auth", "base", "final"].flatMap((p) => ["x", "y", "z"].map((a) => ({ label: `${p}_${a}` }))),
               [x, ...["auth", "base", "final"].flatMap((p) => ["x", "y", "z"].map((a) => A.poseSeries(c, p, a)))],
               shade);
    }
    if (s.mouse) {
      addChart("Mouse counts" + suffix,
               "Mouse counts polled this frame and counts still pending for the next tick.",
               "counts", [{ label: "poll_x" }, { label: "poll_y" }, { label: "pending_x" }, { label: "pending_y" }],
               [x, c.poll_x, c.poll_y, c.pending_x, c.pending_y], shade);
    }
  }

  // One chart with a series of A and one of B, each against its own time since its first frame.
  function pairChart(title, definition, label, pick) {
    const [a, b] = [state.a.summary, state.b.summary];
    const data = uPlot.join([[a.series.time, withGaps(pick(a))], [b.series.time, withGaps(pick(b))]]);
    addChart(title, definition, "ms",
             [{ label: `A ${label}`, stroke: COLORS[0] }, { label: `B ${label}`, stroke: COLORS[1] }], data,
             { bands: bandsOf(a, SHADES[0]).concat(bandsOf(b, SHADES[1])),
               bandText: "Shaded in a recording's colour: its frames drawn without corrections (the compare key)." });
  }

  function renderCharts() {
    const { a, b } = state;
    if (!b) {
      detailCharts(a, "", true);
    } else {
      pairChart("Frame time", FRAME_TIME, "frame time (ms)", (s) => s.series.frameMs);
      if (a.summary.cameraInterpolation || b.summary.cameraInterpolation) {
        pairChart("Animation error", ANIMATION_ERROR, "animation error (ms)", (s) => s.series.errorMs);
      }
      detailCharts(a, "A", false);
      detailCharts(b, "B", false);
    }
    const recordings = b ? [a, b] : [a];
    const h = A.histogram(recordings.map((r) => r.summary.series.frameMs), 60);
    // Two recordings' bars stand side by side in each bin.
    const bars = (align, i) => ({ label: `${"AB"[i]}: frames`, stroke: COLORS[i], fill: COLORS[i] + "55",
                                  paths: uPlot.paths.bars({ size: [0.45, 100], align }) });
    addChart("Frame time histogram",
             "How many frames took each frame time; times beyond the 99.9th percentile fall in the last bar.",
             "frames", b ? [bars(-1, 0), bars(1, 1)]
                         : [{ label: "frames", fill: "#2b6fd955", paths: uPlot.paths.bars({ size: [0.9, 100] }) }],
             [h.edges, ...h.counts], { time: false, xLabel: "frame time (ms)" });
  }

  function showRecordings() {
    const { a, b } = state;
    $("compare").hidden = !(a && a.trace);
    if ($("compare").hidden) return;
    $("recording-a").textContent = `Recording A: ${a.names.join(" + ")} (${a.trace.rows} frames)`;
    $("recording-b").hidden = !b;
    if (b) $("recording-b").firstChild.textContent = `Recording B: ${b.names.join(" + ")} (${b.trace.rows} frames)`;
    $("drop-b").lastElementChild.textContent = b
      ? "Recording B: choose or drop another trace here to replace it (with its log if you like)"
      : "Recording B, to compare: choose or drop a second trace here (with its log if you like)";
  }

  function render() {
    const { a, b } = state;
    $("report").hidden = false;
    showRecordings();
    $("logs").textContent = "";
    if (a.log) renderLog(a.log, b ? "A" : "");
    if (b && b.log) renderLog(b.log, "B");
    $("trace-section").hidden = !a.trace;
    if (a.trace) {
      renderSummary();
      renderCharts();
    }
  }

  function download(name, blob) {
    const a = document.createElement("a");
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  }

  // Every chart stacked on one canvas with its title and series names.
  function chartsImage() {
    const ratio = devicePixelRatio || 1;
    const width = Math.max(...charts.map((u) => u.ctx.canvas.width));
    const titleHeight = 44 * ratio;
    const height = charts.reduce((sum, u) => sum + u.ctx.canvas.height + titleHeight, 0);
    const canvas = document.createElement("canvas");
    canvas.width = width;
    canvas.height = height;
    const ctx = canvas.getContext("2d");
    ctx.fillStyle = "#fff";
    ctx.fillRect(0, 0, width, height);
    let y = 0;
    for (const u of charts) {
      ctx.fillStyle = "#1d2330";
      ctx.font = `bold ${15 * ratio}px sans-serif`;
      ctx.fillText(u.chartTitle, 8 * ratio, y + 18 * ratio);
      let lx = 8 * ratio;
      ctx.font = `${12 * ratio}px sans-serif`;
      u.series.slice(1).forEach((s) => {
        ctx.fillStyle = typeof s.stroke === "function" ? s.stroke(u, 1) : "#333";
        ctx.fillText(s.label, lx, y + 36 * ratio);
        lx += ctx.measureText(s.label).width + 14 * ratio;
      });
      ctx.drawImage(u.ctx.canvas, 0, y + titleHeight);
      y += u.ctx.canvas.height + titleHeight;
    }
    return canvas;
  }

  function currentSummaryText() {
    return state.a ? A.summaryText([state.a, state.b].filter(Boolean)) : "";
  }

  $("export-png").addEventListener("click", () => {
    chartsImage().toBlob((blob) => download("Driftglass-report.png", blob), "image/png");
  });
  $("export-text").addEventListener("click", () => {
    download("Driftglass-summary.txt", new Blob([currentSummaryText()], { type: "text/plain" }));
  });
  $("copy-text").addEventListener("click", async () => {
    try {
      await navigator.clipboard.writeText(currentSummaryText());
      message("note", "The summary was copied.");
    } catch (error) {
      message("note", "Copying is not allowed here; use \"Save summary as text\" instead.");
    }
  });

  $("files").addEventListener("change", (e) => { if (e.target.files.length) loadFiles(e.target.files); });
  $("files-b").addEventListener("change", (e) => { if (e.target.files.length) loadB(e.target.files); });
  // The picker would still name files that are no longer B.
  $("swap-ab").addEventListener("click", () => {
    [state.a, state.b] = [state.b, state.a];
    $("files-b").value = "";
    rerender();
  });
  $("clear-b").addEventListener("click", () => {
    state.b = null;
    $("files-b").value = "";
    rerender();
  });
  // Files dropped on B's zone are recording B; anywhere else they start the report over.
  const zoneOf = (e) => (!$("compare").hidden && $("drop-b").contains(e.target) ? $("drop-b") : $("drop"));
  for (const type of ["dragenter", "dragover"]) {
    document.addEventListener(type, (e) => {
      e.preventDefault();
      const zone = zoneOf(e);
      for (const z of [$("drop"), $("drop-b")]) z.classList.toggle("over", z === zone);
    });
  }
  document.addEventListener("dragleave", () => {
    for (const z of [$("drop"), $("drop-b")]) z.classList.remove("over");
  });
  document.addEventListener("drop", (e) => {
    e.preventDefault();
    const zone = zoneOf(e);
    for (const z of [$("drop"), $("drop-b")]) z.classList.remove("over");
    if (!e.dataTransfer.files.length) return;
    if (zone === $("drop-b")) loadB(e.dataTransfer.files);
    else loadFiles(e.dataTransfer.files);
  });
  window.addEventListener("resize", () => {
    const width = Math.max(320, $("charts").clientWidth);
    for (const u of charts) u.setSize({ width, height: 240 });
  });
  // For bug reports from scripts and the browser test.
  window.driftglassReport = { state, loadFiles, loadB, chartsImage, summaryText: currentSummaryText };
})();
