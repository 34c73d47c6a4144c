// The page: reads the picked files, checks them completely, and only then draws the report, so a
// bad file never leaves half a page behind.
(function () {
  "use strict";
  const A = window.DriftglassAnalysis;
  const $ = (id) => document.getElementById(id);
  const state = { trace: null, summary: null, log: null };
  let charts = [];
  window.driftglassCharts = charts;

  const COLORS = ["#d9482b", "#2b6fd9", "#1f9e55", "#9b4dca", "#c28f00", "#00a3a3", "#e0628f",
                  "#5b6b82", "#7a5230"];

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

  // Parses every picked file before anything is drawn; any problem leaves the report empty.
  async function loadFiles(fileList) {
    $("messages").textContent = "";
    document.body.dataset.state = "loading";
    clearReport();
    const next = { trace: null, summary: null, log: null };
    const notes = [];
    let failed = false;
    for (const file of Array.from(fileList)) {
      try {
        const text = await readText(file);
        if (text.length === 0) throw new A.InputError("The file is empty.");
        const kind = A.classify(text);
        if (kind === "log") {
          next.log = A.parseLog(text);
        } else {
          // Anything that is not a log must be a trace; parseTrace explains what is wrong.
          next.trace = A.parseTrace(text);
          for (const note of next.trace.notes) notes.push(`${file.name}: ${note}`);
        }
      } catch (error) {
        failed = true;
        message("error", `${file.name}: ${error instanceof A.InputError ? error.message
                                                                          : "could not be read (" + error + ")."}`);
      }
    }
    if (failed) {
      state.trace = state.summary = state.log = null;
      document.body.dataset.state = "error";
      return;
    }
    if (next.trace) next.summary = A.summarize(next.trace);
    Object.assign(state, next);
    for (const note of notes) message("note", note);
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

  function fmt(value, digits, unit) {
    return Number.isFinite(value) ? `${value.toFixed(digits)}${unit ? " " + unit : ""}` : "n/a";
  }

  function renderSummary() {
    const s = state.summary;
    const rows = [
      ["Frames", String(s.frames)],
      ["Duration", fmt(s.durationSeconds, 3, "s")],
      ["Frame rate", fmt(s.frameRate, 1, "fps")],
      ["Frame time p50 / p95 / p99", `${fmt(s.frameTimeMs.p50, 3)} / ${fmt(s.frameTimeMs.p95, 3)} / ${fmt(s.frameTimeMs.p99, 3)} ms`],
    ];
    if (s.cameraInterpolation) {
      rows.push(
        ["Animation error mean / p99 / max", `${fmt(s.animationErrorMs.mean, 3)} / ${fmt(s.animationErrorMs.p99, 3)} / ${fmt(s.animationErrorMs.max, 3)} ms`],
        ["Mean lag behind the newest tick", fmt(s.meanLagMs, 3, "ms")],
        ["Frames interpolated", fmt(100 * s.interpolatedShare, 1, "%")]);
    }
    rows.push(["Frames without a valid fraction", String(s.framesWithoutFraction)]);
    if (state.log) {
      rows.push(["Trace rows dropped by the plug-in",
                 state.log.trace ? String(state.log.trace.dropped) : "not reported in the log"]);
    }
    const table = $("summary");
    table.textContent = "";
    for (const [label, value] of rows) {
      const tr = document.createElement("tr");
      tr.dataset.label = label;
      cell(tr, "th", label);
      cell(tr, "td", value, "value");
      table.appendChild(tr);
    }
    $("interp-off").hidden = s.cameraInterpolation;
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

  function renderLog() {
    const log = state.log;
    const outcome = $("outcome");
    outcome.textContent = "";
    const box = document.createElement("div");
    box.className = `outcome ${log.outcome.kind}`;
    cell(box, "strong", log.outcome.title);
    if (log.outcome.reason) cell(box, "p", `Reason: ${log.outcome.reason}`);
    if (log.outcome.advice) cell(box, "p", `What you can do: ${log.outcome.advice}`);
    cell(box, "p", `Latest start at ${log.startedAt} (version ${log.version}; ` +
                   `${log.starts} start${log.starts === 1 ? "" : "s"} in this log).`);
    for (const warning of log.warnings) cell(box, "p", `Warning: ${warning}`);
    outcome.appendChild(box);

    const list = $("features");
    list.textContent = "";
    if (log.features.length === 0) cell(list, "li", "None.");
    for (const feature of log.features) cell(list, "li", feature.name).title = feature.text;

    const table = $("telemetry");
    table.textContent = "";
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

  function withGaps(values) {
    const out = new Array(values.length);
    for (let i = 0; i < values.length; ++i) out[i] = Number.isFinite(values[i]) ? values[i] : null;
    return out;
  }

  function addChart(title, definition, yLabel, series, data, options = {}) {
    const wrap = document.createElement("section");
    wrap.className = "chart";
    cell(wrap, "h3", title);
    cell(wrap, "p", definition, "definition");
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
      plugins: time ? [zoomPanPlugin(), syncPlugin()] : [],
    }, data, holder);
    u.timeChart = time;
    u.chartTitle = title;
    wrap.dataset.points = String(data[0].length);
    charts.push(u);
    return u;
  }

  function renderCharts() {
    const s = state.summary;
    const c = state.trace.columns;
    const x = s.series.time;
    addChart("Frame time", "Display time (qpc_seconds) between each frame and the one before it.",
             "ms", [{ label: "frame time (ms)" }], [x, withGaps(s.series.frameMs)]);
    if (s.cameraInterpolation) {
      addChart("Animation error",
               "How far the shown simulation time advanced since the previous frame minus how far display time advanced; 0 is perfectly even motion.",
               "ms", [{ label: "animation error (ms)" }], [x, withGaps(s.series.errorMs)]);
      addChart("Interpolation fraction",
               "The raw fraction of a tick since the newest tick, the phase delay subtracted from it (in ticks), and the fraction used between the two ticks drawn.",
               "ticks", [{ label: "raw_alpha" }, { label: "phase_delay_ticks" }, { label: "alpha" }],
               [x, c.raw_alpha, c.phase_delay_ticks, c.alpha]);
      addChart("Camera yaw",
               "Yaw as the game computed it at the newest tick (auth), as interpolated between ticks (base) and as finally shown (final).",
               "yaw", [{ label: "auth" }, { label: "base" }, { label: "final" }],
               [x, ...["auth", "base", "final"].map((p) => A.poseSeries(c, p, "yaw"))]);
      addChart("Camera position",
               "Position as the game computed it at the newest tick (auth), as interpolated (base) and as shown (final); click a legend entry to hide it.",
               "units", ["auth", "base", "final"].flatMap((p) => ["x", "y", "z"].map((a) => ({ label: `${p}_${a}` }))),
               [x, ...["auth", "base", "final"].flatMap((p) => ["x", "y", "z"].map((a) => A.poseSeries(c, p, a)))]);
    }
    if (s.mouse) {
      addChart("Mouse counts",
               "Mouse counts polled this frame and counts still pending for the next tick.",
               "counts", [{ label: "poll_x" }, { label: "poll_y" }, { label: "pending_x" }, { label: "pending_y" }],
               [x, c.poll_x, c.poll_y, c.pending_x, c.pending_y]);
    }
    const h = A.histogram(s.series.frameMs, 60);
    addChart("Frame time histogram",
             "How many frames took each frame time; times beyond the 99.9th percentile fall in the last bar.",
             "frames", [{ label: "frames", fill: "#2b6fd955", paths: uPlot.paths.bars({ size: [0.9, 100] }) }],
             [h.edges, h.counts], { time: false, xLabel: "frame time (ms)" });
  }

  function render() {
    $("report").hidden = false;
    $("log-section").hidden = !state.log;
    $("trace-section").hidden = !state.trace;
    if (state.log) renderLog();
    if (state.trace) {
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
    return A.summaryText(state.summary, state.log);
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
  const drop = $("drop");
  for (const type of ["dragenter", "dragover"]) {
    document.addEventListener(type, (e) => { e.preventDefault(); drop.classList.add("over"); });
  }
  document.addEventListener("dragleave", () => drop.classList.remove("over"));
  document.addEventListener("drop", (e) => {
    e.preventDefault();
    drop.classList.remove("over");
    if (e.dataTransfer.files.length) loadFiles(e.dataTransfer.files);
  });
  window.addEventListener("resize", () => {
    const width = Math.max(320, $("charts").clientWidth);
    for (const u of charts) u.setSize({ width, height: 240 });
  });
  // For bug reports from scripts and the browser test.
  window.driftglassReport = { state, loadFiles, chartsImage, summaryText: currentSummaryText };
})();
