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
  // Drawn while the compare key had every correction stand aside: the frame shows the engine's own
  // values.
  const FLAG_UNCORRECTED = 1 << 9;
  // The first frame after a change of the INI took effect while the game ran.
  const FLAG_SETTINGS_CHANGED = 1 << 10;
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
    const applied = new Uint8Array(n);
    const uncorrected = new Uint8Array(n);
    let uncorrectedFrames = 0;
    const settingsChanges = [];
    for (let i = 0; i < n; ++i) {
      time[i] = c.qpc_seconds[i] - c.qpc_seconds[0];
      if ((c.flags[i] & FLAG_SETTINGS_CHANGED) !== 0) settingsChanges.push(i);
      if ((c.flags[i] & FLAG_UNCORRECTED) !== 0) {
        uncorrected[i] = 1;
        ++uncorrectedFrames;
      }
      // A frame drawn without corrections shows the engine's newest tick, whatever else it says.
      applied[i] = (c.flags[i] & FLAG_CAMERA_APPLIED) !== 0 && !uncorrected[i] ? 1 : 0;
      shown[i] = applied[i] ? (c.older_serial[i] + c.alpha[i]) / TICK_RATE
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
    return { time, frameMs, shown, errorMs, lagMs, applied, uncorrected, uncorrectedFrames, settingsChanges };
  }

  // The figures over the frames of ranges ([first, end) pairs, in order). A frame-to-frame figure
  // (frame time, animation error, duration) counts the step into frame i only when frame i - 1 is
  // in the same range, so a stretch's figures never include the jump where the drawing or the
  // settings switched. Work is in proportion to the frames covered, not to the whole trace.
  function summarizeFrames(trace, s, ranges) {
    const c = trace.columns;
    let total = 0;
    for (const [first, end] of ranges) total += end - first;
    const frameTimes = new Float64Array(total);
    const errors = new Float64Array(total);
    let frames = 0, steps = 0, applied = 0, noAlpha = 0, lagSum = 0, durationMs = 0;
    let mouse = false;
    let maxError = NaN;
    for (const [first, end] of ranges) {
      for (let i = first; i < end; ++i) {
        ++frames;
        applied += s.applied[i];
        lagSum += s.lagMs[i];
        if ((c.flags[i] & FLAG_ALPHA_VALID) === 0) ++noAlpha;
        if ((c.flags[i] & FLAG_POLL_VALID) !== 0 || c.poll_x[i] !== 0 || c.poll_y[i] !== 0 ||
            c.pending_x[i] !== 0 || c.pending_y[i] !== 0) {
          mouse = true;
        }
        if (i > first) {
          frameTimes[steps] = s.frameMs[i];
          errors[steps] = Math.abs(s.errorMs[i]);
          if (!(errors[steps] <= maxError)) maxError = errors[steps];
          durationMs += s.frameMs[i];
          ++steps;
        }
      }
    }
    const times = frameTimes.subarray(0, steps);
    const errs = errors.subarray(0, steps);
    const duration = durationMs / 1000;
    return {
      frames,
      durationSeconds: duration,
      frameRate: duration > 0 ? steps / duration : NaN,
      frameTimeMs: { p50: percentile(times, 0.5), p95: percentile(times, 0.95),
                     p99: percentile(times, 0.99) },
      animationErrorMs: { mean: mean(errs), p99: percentile(errs, 0.99), max: maxError },
      meanLagMs: frames > 0 ? lagSum / frames : NaN,
      interpolatedShare: frames > 0 ? applied / frames : NaN,
      framesWithoutFraction: noAlpha,
      cameraInterpolation: applied > 0,
      mouse,
    };
  }

  // Runs of frames drawn without corrections, as frame indexes and as the time they were on
  // screen: from the first one's display until the next corrected frame's (the last frame of the
  // trace ends its run at its own display time).
  function uncorrectedStretches(s) {
    const out = [];
    const n = s.uncorrected.length;
    for (let i = 0; i < n; ++i) {
      if (!s.uncorrected[i]) continue;
      let last = i;
      while (last + 1 < n && s.uncorrected[last + 1]) ++last;
      out.push({ first: i, last, start: s.time[i], end: s.time[Math.min(last + 1, n - 1)] });
      i = last;
    }
    return out;
  }

  // Up to this many changes of settings, a recording whose stretches cannot be told apart by the
  // log still gets a column per stretch, and the time charts draw each change as a full line.
  const CHANGES_SHOWN_APART = 3;

  // The settings in effect in each stretch, as keys equal for equal settings, from the log's
  // applied changes that belong to this trace; { known: false, note } when they cannot be told.
  function stretchSettings(s, log, count) {
    const marks = count - 1 + (s.settingsChanges[0] === 0 ? 1 : 0);
    if (!log) {
      return { known: false, note: count - 1 > CHANGES_SHOWN_APART
        ? `Without the log the settings of the ${count} stretches cannot be told apart: the ` +
          "frames after the first change are counted together. Add Driftglass.log to see each set of settings." : "" };
    }
    // A log not yet narrowed to a file goes with the file opened at the start.
    const { from, to } = (log.traceChanges ? log : logForTrace(log, "")).traceChanges;
    const states = log.settings.states;
    const lines = to - from;
    // The trace's first frame carries a mark when the change that turned the trace on is its own.
    let offset = -1;
    if (lines === count - 1) offset = from;
    else if (s.settingsChanges[0] === 0 && lines === count) offset = from + 1;
    if (!states || offset < 0) {
      return { known: false, note: (states
        ? `The log names ${lines} applied change${lines === 1 ? "" : "s"} of settings for this trace but the trace marks ${marks}`
        : "The log's changes of settings could not be read") +
        ": the stretches' settings cannot be told apart" +
        (count - 1 > CHANGES_SHOWN_APART ? ", so the frames after the first change are counted together." : ".") };
    }
    return { known: true, keys: log.settings.keys, states: states.slice(offset, offset + count) };
  }

  // The stretches between changes of settings, and the summary's columns over them: one per
  // distinct set of settings when the log tells them apart, else one per stretch for a few
  // changes, or the first stretch and all later ones together.
  function settingsSplit(trace, s, log) {
    const n = trace.rows;
    const bounds = [0, ...s.settingsChanges.filter((frame) => frame > 0), n];
    if (bounds.length <= 2) return null;
    const stretches = bounds.slice(0, -1).map((first, k) => ({
      first, end: bounds[k + 1], frames: bounds[k + 1] - first,
      start: s.time[first], endTime: s.time[Math.min(bounds[k + 1], n - 1)] }));
    const known = stretchSettings(s, log, stretches.length);
    let groups;
    if (known.known) {
      const byState = new Map();
      groups = [];
      known.states.forEach((state, k) => {
        const id = state.join("\u0000");
        if (!byState.has(id)) {
          // Named by what differs from the settings at the start, in the log's order of keys.
          const differs = known.keys.map((key, i) => (state[i] !== known.states[0][i] ? `${key} ${state[i]}` : ""))
            .filter(Boolean);
          byState.set(id, groups.length);
          groups.push({ title: groups.length === 0 ? "Settings at start" : differs.join(", "), members: [] });
        }
        groups[byState.get(id)].members.push(k);
      });
    } else if (stretches.length - 1 <= CHANGES_SHOWN_APART) {
      groups = stretches.map((st, k) => ({
        title: k === 0 ? "Settings at start" : `Settings from ${fixed(st.start, 1)} s`, members: [k] }));
    } else {
      groups = [{ title: "Settings at start", members: [0] },
                { title: "After the first change", members: stretches.slice(1).map((_, k) => k + 1) }];
    }
    for (const g of groups) {
      g.stretches = g.members.map((k) => stretches[k]);
      g.summary = summarizeFrames(trace, s, g.stretches.map((st) => [st.first, st.end]));
      delete g.members;
    }
    return { stretches, columns: groups, known: known.known, note: known.note || "" };
  }

  // The whole recording's figures; when it holds frames drawn both with and without corrections,
  // also each kind's figures (parts), and when the INI changed while it played, the figures of each
  // set of settings (settings), from the same code. log, when given, is the one logForTrace chose.
  function summarize(trace, log) {
    const s = deriveSeries(trace);
    const n = trace.rows;
    const summary = summarizeFrames(trace, s, [[0, n]]);
    summary.series = s;
    summary.stretches = uncorrectedStretches(s);
    if (s.uncorrectedFrames > 0 && s.uncorrectedFrames < n) {
      const off = summary.stretches.map(({ first, last }) => [first, last + 1]);
      const on = [];
      let from = 0;
      for (const [first, end] of off) {
        if (first > from) on.push([from, first]);
        from = end;
      }
      if (from < n) on.push([from, n]);
      summary.parts = { corrected: summarizeFrames(trace, s, on), uncorrected: summarizeFrames(trace, s, off) };
    } else {
      summary.parts = null;
    }
    summary.settingsChanges = s.settingsChanges.map((frame) => ({ frame, time: s.time[frame] }));
    summary.settings = settingsSplit(trace, s, log || null);
    return summary;
  }

  // Equal-width bins of frame time, clipped at p99.9 so one stall does not squash the rest; with
  // several sets (recordings A and B) the bins are common to all and each set is counted apart.
  function histogram(sets, binCount) {
    const finite = sets.map((values) => Array.from(values).filter(Number.isFinite));
    const all = [].concat(...finite);
    if (all.length === 0) return { edges: [], counts: sets.map(() => []) };
    const low = percentile(all, 0);
    const high = Math.max(percentile(all, 0.999), low + 1);  // at least 1 ms wide
    const width = (high - low) / binCount;
    const counts = finite.map((values) => {
      const bins = new Array(binCount).fill(0);
      for (const v of values) bins[Math.min(binCount - 1, Math.floor((v - low) / width))] += 1;
      return bins;
    });
    const edges = counts[0].map((_, i) => low + (i + 0.5) * width);
    return { edges, counts, width };
  }

  const LOG_LINE = /^\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\] \[([A-Z]+)\] (.*)$/;
  const START_LINE = /^Driftglass \S+ bootstrap starting \(x86\)$/;
  // The plug-in's notice after lines the disk refused, when the last of them reached the file cut.
  const CUT_ABOVE = /^\d+ log lines? could not be written \(Win32 error \d+; the line above is cut short\); logging resumed\.$/;

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

  const APPLIED_PREFIX = "Settings changed: ";
  // The same opening names what waits for a restart: not an applied change.
  const NEXT_START = /(?: takes effect|; each takes effect) at the next start\.$/;
  // A key that waited for a restart set back to the value in force: nothing was applied either.
  const BACK_IN_FORCE = /(?: is|; each is) back to the value in force\.$/;
  const REFUSED = /; the running settings stay\.$/;
  const RECORDING_TO = /^Motion trace: recording to (.+)\.$/;
  const CHANGE_ITEM = /^(.*\S) (\S+) -> (\S+)$/;

  // "Key old -> new" items of an applied "Settings changed: ..." line; null if one is unreadable.
  function changeItems(text) {
    const items = text.slice(APPLIED_PREFIX.length, -1).split(", ").map((item) => CHANGE_ITEM.exec(item));
    return items.every(Boolean) ? items.map((m) => ({ key: m[1], from: m[2], to: m[3] })) : null;
  }

  // The run's changes of settings while the game ran, and the trace files it opened meanwhile.
  // states[i] is every named key's value after the first i applied changes (a key's value before
  // its first change is that change's old value), in keys' order. Each trace file covers the
  // applied changes [from, to): those after its opening until the trace was turned off or the
  // next file opened; the first entry is the file opened at the start.
  function settingsOfRun(run) {
    const changes = [], lines = [];
    let refused = 0, deferred = 0;
    const files = [{ name: "", path: "", from: 0, to: null, totals: null }];
    let file = files[0];
    for (const e of run) {
      if (e.text.startsWith(APPLIED_PREFIX) && NEXT_START.test(e.text)) {
        ++deferred;
      } else if (e.text.startsWith(APPLIED_PREFIX) && BACK_IN_FORCE.test(e.text)) {
        // listed with the others, counted as no change
      } else if (e.level === "INFO" && e.text.startsWith(APPLIED_PREFIX) && e.text.endsWith(".")) {
        const items = changeItems(e.text);
        if (file.to === null && items && items.some((c) => c.key === "MotionTrace" && c.to === "false")) {
          file.to = changes.length;
        }
        changes.push({ time: e.time, items });
      } else if (e.level === "WARN" && REFUSED.test(e.text)) {
        ++refused;
      } else if (e.level === "INFO" && RECORDING_TO.test(e.text)) {
        const path = RECORDING_TO.exec(e.text)[1];
        if (file.to === null) file.to = changes.length;
        file = { name: path.split(/[\\/]/).pop(), path, from: changes.length, to: null, totals: null };
        files.push(file);
      } else {
        const totals = e.level === "INFO" && /^MotionTrace written=(\d+) dropped=(\d+)$/.exec(e.text);
        if (totals) file.totals = { written: Number(totals[1]), dropped: Number(totals[2]) };
        continue;
      }
      lines.push(e);
    }
    if (file.to === null) file.to = changes.length;
    const keys = [], start = [];
    let states = null;
    if (changes.every((c) => c.items)) {
      for (const c of changes) {
        for (const { key, from } of c.items) {
          if (!keys.includes(key)) {
            keys.push(key);
            start.push(from);
          }
        }
      }
      states = [start];
      for (const c of changes) {
        const next = states[states.length - 1].slice();
        for (const { key, to } of c.items) next[keys.indexOf(key)] = to;
        states.push(next);
      }
    }
    return { settings: { applied: changes.length, refused, deferred, lines, keys, states }, files };
  }

  // The log as it concerns the trace file of that name: its totals and the applied changes its
  // marked frames stand for. A file the log names as opened while the game ran goes with the lines
  // after that; any other with the file opened at the start.
  function logForTrace(log, traceName) {
    const name = String(traceName || "").split(/[\\/]/).pop().toLowerCase();
    const named = log.traceFiles.filter((f) => f.path && f.name.toLowerCase() === name);
    const file = named.length > 0 ? named[named.length - 1] : log.traceFiles[0];
    return Object.assign({}, log, { trace: file.totals, traceFile: file, traceChanges: { from: file.from, to: file.to } });
  }

  // "123 changes of settings, 16 refused": what the INI's edits while the game ran came to.
  function settingsCountText(settings) {
    const n = settings.applied;
    return [`${n} change${n === 1 ? "" : "s"} of settings`,
            settings.refused ? `${settings.refused} refused` : "",
            settings.deferred ? `${settings.deferred} for the next start` : ""].filter(Boolean).join(", ");
  }

  // The latest start in the log: the log is appended to at every start while the trace is
  // recreated, so only the last run belongs with the trace.
  function parseLog(text) {
    text = stripBom(text);
    if (text.trim().length === 0) throw new InputError("The log is empty.");
    const entries = [];
    let aboveIsEntry = false;
    for (const raw of text.split("\n")) {
      const m = LOG_LINE.exec(raw.replace(/\r$/, ""));
      // A cut line is only the start of one: a telemetry interval would show as half of one.
      if (m && aboveIsEntry && m[2] === "WARN" && CUT_ABOVE.test(m[3])) entries.pop();
      if (m) entries.push({ time: m[1], level: m[2], text: m[3] });
      aboveIsEntry = m !== null;
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
    const { settings, files } = settingsOfRun(run);
    const settingsLines = new Set(settings.lines);
    return {
      starts,
      startedAt: run[0].time,
      version: run[0].text.split(" ")[1],
      outcome: startOutcome(run),
      // Lines about the INI's edits while playing are counted apart: an hour of tuning writes many.
      warnings: run.filter((e) => e.level === "WARN" && !settingsLines.has(e)).map((e) => e.text),
      features,
      intervals,
      trace: written === null ? null : { written, dropped },
      settings,
      traceFiles: files,
    };
  }

  // Recordings from the files picked together, told apart by content alone. With two traces the
  // one recorded first is A: its performance-counter reading, which runs from the computer's
  // start, is the lower one. A log goes with the trace whose row count it reports as written, or
  // with the only trace left; each recording gets the log as it concerns its own trace file.
  function pairRecordings(traces, logs) {
    if (traces.length > 2) {
      throw new InputError(`${traces.length} motion traces were picked; pick one, or two to compare.`);
    }
    if (logs.length > Math.max(1, traces.length)) {
      throw new InputError(`${logs.length} logs were picked for ${traces.length} motion ` +
                           `trace${traces.length === 1 ? "" : "s"}; pick at most one log for each trace.`);
    }
    const recordings = traces.slice()
      .sort((a, b) => a.trace.columns.qpc_seconds[0] - b.trace.columns.qpc_seconds[0])
      .map((t) => ({ trace: t.trace, log: null, names: [t.name] }));
    if (recordings.length === 0) {
      return logs.map((l) => ({ trace: null, log: l.log, names: [l.name] }));
    }
    const left = [];
    for (const l of logs) {
      const match = recordings.filter((r) => {
        const totals = r.log ? null : logForTrace(l.log, r.names[0]).trace;
        return totals !== null && totals.written === r.trace.rows;
      }).map((r) => ({ r, log: logForTrace(l.log, r.names[0]) }));
      // Two trace files of one run share its log; two traces it counts as the same file do not.
      if (recordings.length > 1 && match.length > 0 &&
          new Set(match.map((m) => m.log.traceFile)).size === match.length) {
        for (const { r, log } of match) {
          r.log = log;
          r.names.push(l.name);
        }
      } else {
        left.push(l);
      }
    }
    for (const l of left) {
      const free = recordings.filter((r) => !r.log);
      if (free.length !== 1 || left.length > 1) {
        throw new InputError(`Which trace the log ${l.name} belongs to cannot be told: the rows it ` +
          "counts as written match neither. Load the recordings one at a time: the first as " +
          "usual, the second on \u201cRecording B\u201d.");
      }
      free[0].log = logForTrace(l.log, free[0].names[0]);
      free[0].names.push(l.name);
    }
    return recordings;
  }

  function fixed(value, digits) {
    return Number.isFinite(value) ? value.toFixed(digits) : "n/a";
  }

  function signed(value, digits) {
    if (!Number.isFinite(value)) return "n/a";
    const text = Math.abs(value).toFixed(digits);
    if (Number(text) === 0) return text;
    return (value < 0 ? "-" : "+") + text;
  }

  // The summary's figures in the order shown. `camera` figures only mean something when some column
  // had camera interpolation on; a difference of two shares is in percentage points.
  const FIGURES = [
    { label: "Frames", digits: 0, get: (s) => [s.frames] },
    { label: "Duration", digits: 3, unit: "s", get: (s) => [s.durationSeconds] },
    { label: "Frame rate", digits: 1, unit: "fps", get: (s) => [s.frameRate] },
    { label: "Frame time p50 / p95 / p99", digits: 3, unit: "ms",
      get: (s) => [s.frameTimeMs.p50, s.frameTimeMs.p95, s.frameTimeMs.p99] },
    { label: "Animation error mean / p99 / max", digits: 3, unit: "ms", camera: true,
      get: (s) => [s.animationErrorMs.mean, s.animationErrorMs.p99, s.animationErrorMs.max] },
    { label: "Mean lag behind the newest tick", digits: 3, unit: "ms", camera: true,
      get: (s) => [s.meanLagMs] },
    { label: "Frames interpolated", digits: 1, unit: "%", differenceUnit: "points", camera: true,
      get: (s) => [100 * s.interpolatedShare] },
    { label: "Frames without a valid fraction", digits: 0, get: (s) => [s.framesWithoutFraction] },
  ];
  const DROPPED_LABEL = "Trace rows dropped by the plug-in";

  function figureText(values, digits, unit, format) {
    if (values.length === 1 && !Number.isFinite(values[0])) return "n/a";
    return values.map((v) => format(v, digits)).join(" / ") + (unit ? " " + unit : "");
  }

  // The summary as rows of text cells, one cell per column: columns are
  // { title, summary, log } where log is null for a recording without one and undefined for a
  // stretch of a recording (the log counts the whole run). With difference, the last cell of each
  // row is the second column minus the first.
  function summaryTable(columns, difference) {
    const camera = columns.some((col) => col.summary.cameraInterpolation);
    const rows = [];
    for (const f of FIGURES) {
      if (f.camera && !camera) continue;
      const values = columns.map((col) => f.get(col.summary));
      const cells = values.map((v) => figureText(v, f.digits, f.unit, fixed));
      if (difference) {
        cells.push(figureText(values[1].map((b, i) => b - values[0][i]), f.digits,
                              f.differenceUnit || f.unit, signed));
      }
      rows.push({ label: f.label, cells });
    }
    if (columns.some((col) => col.log)) {
      const dropped = columns.map((col) => (col.log && col.log.trace ? col.log.trace.dropped : NaN));
      const cells = columns.map((col, i) => (col.log === undefined ? ""
        : !col.log ? "no log" : col.log.trace ? String(dropped[i]) : "not reported in the log"));
      if (difference) cells.push(signed(dropped[1] - dropped[0], 0));
      rows.push({ label: DROPPED_LABEL, cells });
    }
    const titles = columns.map((col) => col.title);
    const stretches = columns.map((col) => col.stretches || null);
    return { titles: difference ? titles.concat("B \u2212 A") : titles, rows, camera,
             stretches: difference ? stretches.concat(null) : stretches };
  }

  // The table of one recording: a single column, or the whole run beside each kind of frame when
  // it was drawn both with and without corrections, and beside each set of settings when the INI
  // changed while it played (with the stretches each covers).
  function recordingTable(summary, log) {
    if (!summary.parts && !summary.settings) return summaryTable([{ title: "", summary, log }], false);
    const columns = [{ title: "All frames", summary, log }];
    if (summary.parts) {
      columns.push({ title: "With corrections", summary: summary.parts.corrected, log: undefined },
                   { title: "Without corrections", summary: summary.parts.uncorrected, log: undefined });
    }
    for (const set of summary.settings ? summary.settings.columns : []) {
      columns.push({ title: set.title, summary: set.summary, log: undefined, stretches: set.stretches });
    }
    return summaryTable(columns, false);
  }

  // What a recording's own table splits its frames by.
  function partsHeading(summary) {
    return summary.settings ? (summary.parts ? "by kind of frame and by settings" : "by settings")
                            : "with and without corrections";
  }

  function comparisonTable(a, b) {
    return summaryTable([{ title: "A", summary: a.summary, log: a.log },
                         { title: "B", summary: b.summary, log: b.log }], true);
  }

  // "5.0\u201312.5 s (1080 frames)": where a stretch of settings lies in the trace.
  function stretchText(stretch) {
    return `${fixed(stretch.start, 1)}\u2013${fixed(stretch.endTime, 1)} s (${stretch.frames} frames)`;
  }

  function tableText(table) {
    if (table.titles.length === 1) return table.rows.map((r) => `${r.label}: ${r.cells[0]}`);
    const labelWidth = Math.max(...table.rows.map((r) => r.label.length));
    const widths = table.titles.map((t, i) => Math.max(t.length, ...table.rows.map((r) => r.cells[i].length)));
    const line = (label, cells) =>
      (label.padEnd(labelWidth) + cells.map((c, i) => "  " + c.padStart(widths[i])).join("")).trimEnd();
    const lines = [line("", table.titles), ...table.rows.map((r) => line(r.label, r.cells))];
    if (table.stretches.some(Boolean)) {
      lines.push("Stretches of settings:");
      table.stretches.forEach((list, i) => {
        if (list) lines.push(`  ${table.titles[i]}: ${list.map(stretchText).join(", ")}`);
      });
    }
    return lines;
  }

  function logText(log, prefix) {
    const lines = [`${prefix}Start-up (${log.startedAt}): ${log.outcome.title}`];
    if (log.outcome.reason) lines.push(`Reason: ${log.outcome.reason}`);
    lines.push(`Active features: ${log.features.map((f) => f.name).join(", ") || "none"}`);
    const { settings } = log;
    if (settings.applied || settings.refused || settings.deferred) {
      lines.push(`Settings while playing: ${settingsCountText(settings)}`);
    }
    return lines;
  }

  // The summary as plain text for bug reports: recordings are { summary, log, names } (summary
  // null for a log alone), one, or two compared as A and B.
  function summaryText(recordings) {
    const lines = [];
    const [a, b] = recordings;
    let camera = true;
    if (b) {
      lines.push(`A: ${a.names.join(" + ")}`, `B: ${b.names.join(" + ")}`, "");
      const table = comparisonTable(a, b);
      camera = table.camera;
      lines.push(...tableText(table));
      for (const [name, r] of [["A", a], ["B", b]]) {
        if (r.summary.parts || r.summary.settings) lines.push("", `Recording ${name} ${partsHeading(r.summary)}:`,
                                        ...tableText(recordingTable(r.summary, r.log)));
        if (r.summary.settings && r.summary.settings.note) lines.push(r.summary.settings.note);
      }
    } else if (a.summary) {
      const table = recordingTable(a.summary, a.log);
      camera = table.camera;
      lines.push(...tableText(table));
      if (a.summary.settings && a.summary.settings.note) lines.push(a.summary.settings.note);
    }
    if (!camera) lines.push("Camera interpolation was off: timing only.");
    recordings.forEach((r, i) => {
      if (r.log) lines.push(...logText(r.log, b ? `${i === 0 ? "A" : "B"}: ` : ""));
    });
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
    TICK_RATE, poseSeries, TRACE_COLUMNS, TRACE_HEADER, FLAG_CAMERA_APPLIED, FLAG_ALPHA_VALID,
    FLAG_UNCORRECTED, InputError, classify, parseTrace, percentile, mean, deriveSeries, summarize,
    histogram, parseTelemetry, parseLog, logForTrace, pairRecordings, recordingTable, comparisonTable,
    summaryText, partsHeading, stretchText, settingsCountText, CHANGES_SHOWN_APART,
  };
});
