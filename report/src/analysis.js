// Reads the plug-in's motion trace and log and computes the report's figures. Plain functions
// with no DOM access so node's tests and the page run the very same code.
(function (root, factory) {
  if (typeof module === "object" && module.exports) module.exports = factory();
  else root.DriftglassAnalysis = factory();
})(typeof self !== "undefined" ? self : this, function () {
  "use strict";

  const TICK_RATE = 60;
  const TRACE_COLUMNS = [
    "qpc_seconds", "tick_serial", "older_serial", "newer_serial", "raw_alpha", "phase_delay_ticks",
    "alpha", "flags", "auth_x", "auth_y", "auth_z", "auth_pitch", "auth_yaw", "auth_roll", "base_x",
    "base_y", "base_z", "base_pitch", "base_yaw", "base_roll", "final_x", "final_y", "final_z",
    "final_pitch", "final_yaw", "final_roll", "poll_x", "poll_y", "deferred_x", "deferred_y",
    "pending_x", "pending_y", "history_pitch", "history_yaw", "pending_pitch", "pending_yaw",
  ];
  const TRACE_HEADER = TRACE_COLUMNS.join(",");
  const FLAG_POLL_VALID = 1 << 0;
  const FLAG_CAMERA_APPLIED = 1 << 1;
  const FLAG_ALPHA_VALID = 1 << 8;
  // Which of the three camera poses a frame read; a pose it did not read is zero in the trace.
  const POSE_FLAGS = { auth: 1 << 2, base: 1 << 3, final: 1 << 4 };

  // A problem with an input file, worded for the player.
  class InputError extends Error {}

  function stripBom(text) {
    return text.charCodeAt(0) === 0xfeff ? text.slice(1) : text;
  }

  function firstLine(text) {
    const end = text.indexOf("\n");
    return (end < 0 ? text : text.slice(0, end)).replace(/\r$/, "");
  }

  // "trace", "log" or null: files are told apart by what they hold, never by their names.
  function classify(text) {
    const head = firstLine(stripBom(text));
    if (head.startsWith("qpc_seconds,")) return "trace";
    if (/^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[[A-Z]+\] /.test(head)) return "log";
    return null;
  }

  // Columns as Float64Arrays keyed by header name, plus notes about what was skipped.
  function parseTrace(text) {
    text = stripBom(text);
    if (text.length === 0) throw new InputError("The motion trace is empty.");
    const head = firstLine(text);
    if (head !== TRACE_HEADER) {
      throw new InputError(
        "This is not a Driftglass motion trace: its first line is not the trace's column header.");
    }
    const lines = text.split("\n");
    // The plug-in ends every row with a line break, so a last piece without one was cut short
    // (the game was closed mid-write) and cannot be trusted.
    let truncated = false;
    if (lines[lines.length - 1] === "") lines.pop();
    else truncated = true;
    let count = lines.length - 1 - (truncated ? 1 : 0);
    if (count <= 0) {
      throw new InputError(truncated
        ? "The motion trace holds no complete frame: its only row is cut short."
        : "The motion trace holds no frames, only its header.");
    }
    const width = TRACE_COLUMNS.length;
    const columns = TRACE_COLUMNS.map(() => new Float64Array(count));
    for (let row = 0; row < count; ++row) {
      const line = lines[row + 1];
      const fields = (line.endsWith("\r") ? line.slice(0, -1) : line).split(",");
      const lineNumber = row + 2;
      if (fields.length !== width) {
        throw new InputError(`Line ${lineNumber} of the motion trace has ${fields.length} fields; ` +
                             `a row has ${width}.`);
      }
      for (let c = 0; c < width; ++c) {
        const field = fields[c];
        const value = Number(field);
        // Number("") is 0: an empty field is as broken as a word.
        if (field === "" || !Number.isFinite(value)) {
          throw new InputError(`Line ${lineNumber} of the motion trace holds a non-numeric value ` +
                               `in column ${TRACE_COLUMNS[c]}: "${field.slice(0, 40)}".`);
        }
        columns[c][row] = value;
      }
    }
    const byName = {};
    TRACE_COLUMNS.forEach((name, c) => { byName[name] = columns[c]; });
    const notes = truncated
      ? [`The last line (line ${lines.length}) was cut short and was ignored.`] : [];
    return { rows: count, columns: byName, truncated, notes };
  }

  // Nearest-rank percentile, as the project's benchmarks compute it.
  function percentile(values, fraction) {
    if (values.length === 0) return NaN;
    const sorted = Float64Array.from(values).sort();
    const rank = Math.ceil(fraction * sorted.length) - 1;
    return sorted[Math.min(sorted.length - 1, Math.max(0, rank))];
  }

  function mean(values) {
    if (values.length === 0) return NaN;
    let sum = 0;
    for (let i = 0; i < values.length; ++i) sum += values[i];
    return sum / values.length;
  }

  // Per-frame series derived from the trace; index i is trace row i (NaN where undefined).
  function deriveSeries(trace) {
    const n = trace.rows;
    const c = trace.columns;
    const time = new Float64Array(n);
    const frameMs = new Float64Array(n);
    const shown = new Float64Array(n);
    const errorMs = new Float64Array(n);
    const lagMs = new Float64Array(n);
    let applied = 0;
    for (let i = 0; i < n; ++i) {
      time[i] = c.qpc_seconds[i] - c.qpc_seconds[0];
      const cameraApplied = (c.flags[i] & FLAG_CAMERA_APPLIED) !== 0;
      if (cameraApplied) ++applied;
      shown[i] = cameraApplied ? (c.older_serial[i] + c.alpha[i]) / TICK_RATE
                               : c.tick_serial[i] / TICK_RATE;
      lagMs[i] = (c.tick_serial[i] / TICK_RATE - shown[i]) * 1000;
      if (i === 0) {
        frameMs[i] = NaN;
        errorMs[i] = NaN;
      } else {
        const display = c.qpc_seconds[i] - c.qpc_seconds[i - 1];
        frameMs[i] = display * 1000;
        errorMs[i] = ((shown[i] - shown[i - 1]) - display) * 1000;
      }
    }
    return { time, frameMs, shown, errorMs, lagMs, applied };
  }

  function summarize(trace) {
    const s = deriveSeries(trace);
    const c = trace.columns;
    const n = trace.rows;
    const frameTimes = s.frameMs.subarray(1);
    const errors = Float64Array.from(s.errorMs.subarray(1), Math.abs);
    let noAlpha = 0;
    let mouse = false;
    for (let i = 0; i < n; ++i) {
      if ((c.flags[i] & FLAG_ALPHA_VALID) === 0) ++noAlpha;
      if ((c.flags[i] & FLAG_POLL_VALID) !== 0 || c.poll_x[i] !== 0 || c.poll_y[i] !== 0 ||
          c.pending_x[i] !== 0 || c.pending_y[i] !== 0) {
        mouse = true;
      }
    }
    const duration = s.time[n - 1];
    let maxError = NaN;
    for (let i = 0; i < errors.length; ++i) if (!(errors[i] <= maxError)) maxError = errors[i];
    return {
      frames: n,
      durationSeconds: duration,
      frameRate: duration > 0 ? (n - 1) / duration : NaN,
      frameTimeMs: { p50: percentile(frameTimes, 0.5), p95: percentile(frameTimes, 0.95),
                     p99: percentile(frameTimes, 0.99) },
      animationErrorMs: { mean: mean(errors), p99: percentile(errors, 0.99), max: maxError },
      meanLagMs: mean(s.lagMs),
      interpolatedShare: s.applied / n,
      framesWithoutFraction: noAlpha,
      cameraInterpolation: s.applied > 0,
      mouse,
      series: s,
    };
  }

  // Equal-width bins of frame time, clipped at p99.9 so one stall does not squash the rest.
  function histogram(values, binCount) {
    const finite = Array.from(values).filter(Number.isFinite);
    if (finite.length === 0) return { edges: [], counts: [] };
    const low = percentile(finite, 0);
    const high = Math.max(percentile(finite, 0.999), low + 1);  // at least 1 ms wide
    const width = (high - low) / binCount;
    const counts = new Array(binCount).fill(0);
    for (const v of finite) counts[Math.min(binCount - 1, Math.floor((v - low) / width))] += 1;
    const edges = counts.map((_, i) => low + (i + 0.5) * width);
    return { edges, counts, width };
  }

  const LOG_LINE = /^\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\] \[([A-Z]+)\] (.*)$/;
  const START_LINE = /^Driftglass \S+ bootstrap starting \(x86\)$/;

  const FEATURE_LINES = [
    ["Render-unlock hook enabled", "Render unlock"],
    ["Presentation limiter enabled", "Presentation limiter"],
    ["Main-view camera interpolation enabled", "Camera interpolation"],
    ["First-person hands-root interpolation enabled", "Hands root interpolation"],
    ["Selected world-root interpolation enabled", "World root interpolation"],
    ["First-person hands-pose interpolation enabled", "Hands pose interpolation"],
    ["Grunt pose interpolation enabled", "Enemy pose interpolation"],
    ["Particle position interpolation enabled", "Particle interpolation"],
    ["Image-trail timing correction enabled", "Image-trail timing"],
    ["Mouse presentation preview enabled", "Mouse preview"],
    ["Asynchronous camera motion trace enabled", "Motion trace"],
    ["Read-only telemetry hooks enabled", "Telemetry"],
    ["Presentation phase delay:", "Phase delay"],
  ];

  // "key=value" pairs of one group body, nested groups flattened as "outer.inner.key".
  function parseGroupBody(body, prefix, into) {
    let i = 0;
    while (i < body.length) {
      while (body[i] === " " || body[i] === ",") ++i;
      const nameMatch = /^([A-Za-z][A-Za-z0-9]*)(=|\()/.exec(body.slice(i));
      if (!nameMatch) break;
      i += nameMatch[0].length;
      if (nameMatch[2] === "(") {
        let depth = 1, j = i;
        for (; j < body.length && depth > 0; ++j) {
          if (body[j] === "(") ++depth;
          else if (body[j] === ")") --depth;
        }
        parseGroupBody(body.slice(i, j - 1), prefix + nameMatch[1] + ".", into);
        i = j;
      } else {
        const end = body.indexOf(",", i);
        const value = (end < 0 ? body.slice(i) : body.slice(i, end)).trim();
        into[prefix + nameMatch[1]] = value;
        i = end < 0 ? body.length : end;
      }
    }
  }

  // One "Telemetry interval=..." line as a flat map: head counters plus "Group.key" entries.
  function parseTelemetry(text) {
    const head = /^Telemetry interval=([0-9.]+)s RenderUnlock=(\S+)/.exec(text);
    if (!head) return null;
    const fields = { interval: Number(head[1]), RenderUnlock: head[2] };
    let rest = text.slice(head[0].length);
    const heads = /^ (ticks|OnDraw|SceneRender|OnPostRender)=(\d+) \([0-9.]+ Hz\)/;
    for (let m = heads.exec(rest); m; m = heads.exec(rest)) {
      fields[m[1]] = Number(m[2]);
      rest = rest.slice(m[0].length);
    }
    parseGroupBody(rest, "", fields);
    return fields;
  }

  // The start-up's outcome in the player's words, from the exact texts the plug-in writes.
  function startOutcome(entries) {
    const texts = entries.map((e) => e.text);
    const errorBefore = (index) => {
      for (let i = index - 1; i >= 0; --i) if (entries[i].level === "ERROR") return entries[i].text;
      return "";
    };
    const failClosed = texts.findIndex((t) => t.startsWith("Fail-closed: "));
    if (failClosed >= 0) {
      const hookFailure = texts.findIndex((t) => t.startsWith("Hook initialization failed: "));
      if (hookFailure >= 0) {
        return { kind: "failed", title: "The plug-in stayed off: it could not set up its hooks.",
          reason: texts[hookFailure].slice("Hook initialization failed: ".length),
          advice: "The game ran unchanged. This usually means the game's executable is not a " +
                  "version the plug-in supports: check the game version, reinstall the plug-in " +
                  "if needed, and attach this log to a bug report." };
      }
      return { kind: "failed", title: "The plug-in stayed off: its settings file was rejected.",
        reason: errorBefore(failClosed),
        advice: "The game ran unchanged. Correct the setting named above in Driftglass.ini " +
                "(beside the plug-in), or put back the INI that came with it, then restart the game." };
    }
    if (texts.includes("Plugin disabled by [General] Enabled=false.")) {
      return { kind: "off", title: "The plug-in is switched off in its settings.", reason: "",
        advice: "Set Enabled=true under [General] in Driftglass.ini to turn it on." };
    }
    if (texts.some((t) => t.startsWith("No engine hooks were requested; "))) {
      return { kind: "off", title: "The plug-in started but no feature is switched on.", reason: "",
        advice: "Switch on the features you want under [Features] in Driftglass.ini." };
    }
    if (texts.some((t) => t.endsWith("Requested hooks are active."))) {
      return { kind: "active", title: "The plug-in started and its features are active.",
        reason: "", advice: "" };
    }
    return { kind: "unknown", title: "The log does not say how the start-up ended.", reason: "",
      advice: "The game may have closed or crashed while starting; attach this log to a bug report." };
  }

  // The latest start in the log: the log is appended to at every start while the trace is
  // recreated, so only the last run belongs with the trace.
  function parseLog(text) {
    text = stripBom(text);
    if (text.trim().length === 0) throw new InputError("The log is empty.");
    const entries = [];
    for (const raw of text.split("\n")) {
      const m = LOG_LINE.exec(raw.replace(/\r$/, ""));
      if (m) entries.push({ time: m[1], level: m[2], text: m[3] });
    }
    let start = -1;
    let starts = 0;
    entries.forEach((e, i) => { if (START_LINE.test(e.text)) { start = i; ++starts; } });
    if (start < 0) throw new InputError("This log holds no start of the plug-in.");
    const run = entries.slice(start);
    const features = [];
    for (const e of run) {
      if (e.level !== "INFO") continue;
      const known = FEATURE_LINES.find(([prefix]) => e.text.startsWith(prefix));
      if (known) features.push({ name: known[1], text: e.text });
    }
    const intervals = [];
    let written = null, dropped = null;
    for (const e of run) {
      if (e.level !== "INFO") continue;
      const telemetry = e.text.startsWith("Telemetry interval=") ? parseTelemetry(e.text) : null;
      if (telemetry) {
        intervals.push(telemetry);
        continue;
      }
      const totals = /^MotionTrace written=(\d+) dropped=(\d+)$/.exec(e.text);
      if (totals) {
        written = Number(totals[1]);
        dropped = Number(totals[2]);  // running totals: the last line counts the whole run
        if (intervals.length > 0) intervals[intervals.length - 1].traceDropped = dropped;
      }
    }
    return {
      starts,
      startedAt: run[0].time,
      version: run[0].text.split(" ")[1],
      outcome: startOutcome(run),
      warnings: run.filter((e) => e.level === "WARN").map((e) => e.text),
      features,
      intervals,
      trace: written === null ? null : { written, dropped },
    };
  }

  function fixed(value, digits) {
    return Number.isFinite(value) ? value.toFixed(digits) : "n/a";
  }

  // The summary as plain text for bug reports.
  function summaryText(summary, log) {
    const lines = [];
    if (summary) {
      const s = summary;
      lines.push(`Frames: ${s.frames}`, `Duration: ${fixed(s.durationSeconds, 3)} s`,
        `Frame rate: ${fixed(s.frameRate, 1)} fps`,
        `Frame time p50/p95/p99: ${fixed(s.frameTimeMs.p50, 3)} / ${fixed(s.frameTimeMs.p95, 3)} / ` +
          `${fixed(s.frameTimeMs.p99, 3)} ms`);
      if (s.cameraInterpolation) {
        lines.push(`Animation error mean/p99/max: ${fixed(s.animationErrorMs.mean, 3)} / ` +
            `${fixed(s.animationErrorMs.p99, 3)} / ${fixed(s.animationErrorMs.max, 3)} ms`,
          `Mean lag behind the newest tick: ${fixed(s.meanLagMs, 3)} ms`,
          `Frames interpolated: ${fixed(100 * s.interpolatedShare, 1)} %`);
      } else {
        lines.push("Camera interpolation was off: timing only.");
      }
      lines.push(`Frames without a valid fraction: ${s.framesWithoutFraction}`);
    }
    if (log) {
      lines.push(`Start-up (${log.startedAt}): ${log.outcome.title}`);
      if (log.outcome.reason) lines.push(`Reason: ${log.outcome.reason}`);
      lines.push(`Active features: ${log.features.map((f) => f.name).join(", ") || "none"}`);
      if (log.trace) lines.push(`Trace rows dropped by the plug-in: ${log.trace.dropped}`);
    }
    return lines.join("\n") + "\n";
  }

  // One axis of a camera pose ("auth", "base", "final"), null where the frame did not read the
  // pose, so a chart draws a gap there rather than the camera at the origin.
  function poseSeries(columns, pose, axis) {
    const flag = POSE_FLAGS[pose];
    const values = columns[`${pose}_${axis}`];
    const out = new Array(values.length);
    for (let i = 0; i < values.length; ++i) out[i] = (columns.flags[i] & flag) !== 0 ? values[i] : null;
    return out;
  }

  return {
    TICK_RATE, poseSeries, TRACE_COLUMNS, TRACE_HEADER, FLAG_CAMERA_APPLIED, FLAG_ALPHA_VALID, InputError,
    classify, parseTrace, percentile, mean, deriveSeries, summarize, histogram, parseTelemetry,
    parseLog, summaryText,
  };
});
