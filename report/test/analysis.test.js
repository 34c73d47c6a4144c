// The analysis against hand-made files with answers worked out by hand.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const A = require("../src/analysis.js");
const { traceText, steadyTrace, logLine, START, TELEMETRY } = require("./trace_fixture.js");

const near = (actual, expected, what) =>
  assert.ok(Math.abs(actual - expected) < 1e-6, `${what}: ${actual} != ${expected}`);

// Five frames: interpolated, a frame with the camera not applied, one without a valid fraction.
const FRAMES = [
  [10.000, 600, 599, 600, 0.5, 2 | 256],
  [10.010, 600, 599, 600, 0.9, 2 | 256],
  [10.020, 601, 600, 601, 0.5, 2 | 256],
  [10.040, 602, 601, 602, 0.7, 256],
  [10.045, 602, 601, 602, 0.2, 2],
].map(([qpc, tick, older, newer, alpha, flags]) => ({ qpc_seconds: qpc.toFixed(9), tick_serial: tick,
  older_serial: older, newer_serial: newer, raw_alpha: alpha, alpha, flags, poll_x: 0 }));

// Eight frames 10 ms apart (the last 15 ms), frames 3 to 5 drawn without corrections: they show
// the newest tick, even frame 4, whose camera result still says applied. Shown (ticks): 59.4, 60, 60.6 | 62, 62, 63 | 62.6, 63.2; errors 0, 0, 13.333
// (switch), -10, 6.667, -16.667 (switch), -5.
const SPLIT = [
  [1.000, 60, 59, 0.4, 2 | 256],
  [1.010, 61, 60, 0.0, 2 | 256],
  [1.020, 61, 60, 0.6, 2 | 256],
  [1.030, 62, 61, 0.0, 512 | 256],
  [1.040, 62, 61, 0.0, 512 | 256 | 2],
  [1.050, 63, 62, 0.0, 512],
  [1.060, 63, 62, 0.6, 2 | 256],
  [1.075, 64, 63, 0.2, 2 | 256],
].map(([qpc, tick, older, alpha, flags]) => ({ qpc_seconds: qpc.toFixed(9), tick_serial: tick,
  older_serial: older, newer_serial: tick, raw_alpha: alpha, alpha, flags }));

test("summary of a hand-made trace", () => {
  const s = A.summarize(A.parseTrace(traceText(FRAMES)));
  assert.strictEqual(s.frames, 5);
  near(s.durationSeconds, 0.045, "duration");
  near(s.frameRate, 4 / 0.045, "frame rate");
  // Frame times 10, 10, 20, 5 ms.
  near(s.frameTimeMs.p50, 10, "p50");
  near(s.frameTimeMs.p95, 20, "p95");
  near(s.frameTimeMs.p99, 20, "p99");
  // Shown times (ticks): 599.5, 599.9, 600.5, 602 (not applied), 601.2; errors -3.333, 0, 5, -18.333.
  near(s.animationErrorMs.mean, (10 / 3 + 5 + 55 / 3) / 4, "mean error");
  near(s.animationErrorMs.p99, 55 / 3, "p99 error");
  near(s.animationErrorMs.max, 55 / 3, "max error");
  near(s.meanLagMs, (500 + 100 + 500 + 0 + 800) / 60 / 5, "mean lag");
  near(s.interpolatedShare, 0.8, "interpolated share");
  assert.strictEqual(s.framesWithoutFraction, 1);
  assert.strictEqual(s.cameraInterpolation, true);
  assert.strictEqual(s.mouse, false);
  assert.strictEqual(s.series.errorMs.length, 5);
});

test("a camera pose the frame did not read is a gap, not the origin", () => {
  const rows = [
    { qpc_seconds: "1.000000000", flags: 2 | 4 | 8 | 16, auth_yaw: 0.5, base_yaw: 0.4, final_yaw: 0.45 },
    { qpc_seconds: "1.010000000", flags: 2 | 8, auth_yaw: 0, base_yaw: 0.41, final_yaw: 0 },
  ];
  const c = A.parseTrace(traceText(rows)).columns;
  assert.deepStrictEqual(A.poseSeries(c, "auth", "yaw"), [0.5, null]);
  assert.deepStrictEqual(A.poseSeries(c, "base", "yaw"), [0.4, 0.41]);
  assert.deepStrictEqual(A.poseSeries(c, "final", "yaw"), [0.45, null]);
  assert.deepStrictEqual(A.poseSeries(c, "final", "x"), [0, null]);
});

test("percentiles are nearest-rank", () => {
  const values = Array.from({ length: 100 }, (_, i) => 100 - i);
  for (const [fraction, expected] of [[0.5, 50], [0.95, 95], [0.99, 99], [1, 100], [0, 1]]) {
    assert.strictEqual(A.percentile(values, fraction), expected, `p${fraction * 100}`);
  }
});

test("a trace without the camera applied is timing only", () => {
  const s = A.summarize(A.parseTrace(traceText(FRAMES.map((f) => ({ ...f, flags: 256, poll_x: 3 })))));
  assert.strictEqual(s.cameraInterpolation, false);
  assert.strictEqual(s.mouse, true);
  near(s.meanLagMs, 0, "lag without interpolation");
});

test("bad traces are refused with a message that says why", () => {
  const good = traceText(FRAMES);
  const cases = [
    ["", /empty/],
    ["time,x,y\r\n1,2,3\r\n", /not a Driftglass motion trace/],
    [A.TRACE_HEADER + "\r\n", /no frames/],
    [good.replace("10.020000000", "10.02x"), /Line 4 .*non-numeric.*qpc_seconds/],
    [good.replace(",601,600,601,", ",601,,601,"), /Line 4 .*non-numeric.*older_serial/],
    [good.replace(/\r\n10\.040[^\r]*/, "\r\n10.040,602"), /Line 5 .*has 2 fields/],
  ];
  for (const [text, expected] of cases) {
    assert.throws(() => A.parseTrace(text), (e) => e instanceof A.InputError && expected.test(e.message),
                  `for ${expected}`);
  }
});

test("a cut-short last row is ignored and reported", () => {
  const text = traceText(FRAMES) + "10.050000000,603,602,6";
  const trace = A.parseTrace(text);
  assert.strictEqual(trace.rows, 5);
  assert.match(trace.notes[0], /line 7\) was cut short/);
  assert.strictEqual(A.classify(text), "trace");
});

const ACTIVE_RUN = logLine("INFO", START) + logLine("DEBUG", "Plugin path: Z:\\game\\Driftglass.dll") +
  logLine("INFO", "Render-unlock hook enabled; awaiting cEngine::Run.") +
  logLine("INFO", "Presentation limiter enabled: 144 frames per second.") +
  logLine("INFO", "Main-view camera interpolation enabled: render-scoped position.") +
  logLine("INFO", "Asynchronous camera motion trace enabled: Z:\\game\\Driftglass.motion.csv. More.") +
  logLine("INFO", "Compatible x86 executable signatures accepted. Requested hooks are active.") +
  logLine("INFO", TELEMETRY) + logLine("INFO", "MotionTrace written=140 dropped=2") +
  logLine("INFO", TELEMETRY) + logLine("INFO", "MotionTrace written=284 dropped=5") +
  logLine("INFO", "A line this page does not know");

test("the log's latest start decides outcome, features, intervals and dropped rows", () => {
  const failedFirst = logLine("INFO", START) +
    logLine("ERROR", "Invalid boolean value for [Features] RenderUnlock: maybe") +
    logLine("ERROR", "Fail-closed: no engine hooks were installed.") +
    logLine("INFO", "MotionTrace written=9 dropped=9");
  const log = A.parseLog("\ufeff" + failedFirst + ACTIVE_RUN);
  assert.strictEqual(log.starts, 2);
  assert.strictEqual(log.outcome.kind, "active");
  assert.deepStrictEqual(log.features.map((f) => f.name),
                         ["Render unlock", "Presentation limiter", "Camera interpolation", "Motion trace"]);
  assert.strictEqual(log.intervals.length, 2);
  const first = log.intervals[0];
  assert.strictEqual(first.ticks, 60);
  assert.strictEqual(first.OnDraw, 144);
  assert.strictEqual(first["FrameCadence.p99Ms"], "7.300");
  assert.strictEqual(first["Camera.invalid"], "3", "a nested group's key stays in its group");
  assert.strictEqual(first["Camera.viewFail.invalid"], "4");
  assert.strictEqual(first.traceDropped, 2);
  assert.deepStrictEqual(log.trace, { written: 284, dropped: 5 });
});

test("a line the disk cut short, told by the notice below it, is no interval", () => {
  const notice = (cut) => logLine("WARN", `3 log lines could not be written (Win32 error 112${cut ? "; the line above is cut short" : ""}); logging resumed.`);
  const cutTelemetry = logLine("INFO", TELEMETRY).slice(0, 80) + "\r\n";
  const log = A.parseLog(ACTIVE_RUN + cutTelemetry + notice(true) + logLine("INFO", TELEMETRY) +
                         "[2026-0\r\n" + notice(true) + logLine("INFO", TELEMETRY) + notice(false));
  assert.strictEqual(log.intervals.length, 4, "two whole intervals after the first two");
  assert.strictEqual(log.warnings.length, 3);
});

test("each start-up outcome is told in plain words", () => {
  const cases = [
    [[["ERROR", "Invalid boolean value for [Features] RenderUnlock: maybe"],
      ["ERROR", "Fail-closed: no engine hooks were installed."]],
     "failed", /settings file was rejected/, "Invalid boolean value for [Features] RenderUnlock: maybe"],
    [[["ERROR", "Hook initialization failed: Unsupported executable"],
      ["ERROR", "Fail-closed: engine hooks were not left installed."]],
     "failed", /could not set up its hooks/, "Unsupported executable"],
    [[["INFO", "Plugin disabled by [General] Enabled=false."]], "off", /switched off/, ""],
    [[["INFO", "No engine hooks were requested; executable signature validation was skipped."]],
     "off", /no feature is switched on/, ""],
    [[], "unknown", /does not say/, ""],
  ];
  for (const [lines, kind, title, reason] of cases) {
    const text = logLine("INFO", START) + lines.map(([level, t]) => logLine(level, t)).join("");
    const { outcome } = A.parseLog(text);
    assert.strictEqual(outcome.kind, kind);
    assert.match(outcome.title, title);
    assert.strictEqual(outcome.reason, reason);
    if (kind !== "active") assert.ok(outcome.advice.length > 0);
  }
  assert.throws(() => A.parseLog(logLine("INFO", "something else")), /no start/);
  assert.throws(() => A.parseLog("  \r\n"), /empty/);
});

test("frames drawn without corrections are summarized apart, steps across a switch in neither", () => {
  const s = A.summarize(A.parseTrace(traceText(SPLIT)));
  assert.deepStrictEqual(s.stretches.map(({ first, last }) => [first, last]), [[3, 5]]);
  near(s.stretches[0].start, 0.030, "stretch start");
  near(s.stretches[0].end, 0.060, "stretch end: when the next corrected frame is shown");
  const figures = [  // [figure, all frames, with corrections, without corrections]
    [(x) => x.frames, 8, 5, 3],
    [(x) => x.durationSeconds, 0.075, 0.035, 0.020],
    [(x) => x.frameRate, 7 / 0.075, 3 / 0.035, 2 / 0.020],
    [(x) => x.frameTimeMs.p95, 15, 15, 10],
    [(x) => x.animationErrorMs.mean, (110 / 3 + 15) / 7, 5 / 3, 25 / 3],
    [(x) => x.animationErrorMs.max, 50 / 3, 5, 10],
    [(x) => x.meanLagMs, 160 / 3 / 8, 160 / 3 / 5, 0],
    [(x) => x.interpolatedShare, 5 / 8, 1, 0],
    [(x) => x.framesWithoutFraction, 1, 0, 1],
  ];
  for (const [get, all, corrected, uncorrected] of figures) {
    near(get(s), all, `all frames: ${get}`);
    near(get(s.parts.corrected), corrected, `with corrections: ${get}`);
    near(get(s.parts.uncorrected), uncorrected, `without corrections: ${get}`);
  }
  const table = A.recordingTable(s, null);
  assert.deepStrictEqual(table.titles, ["All frames", "With corrections", "Without corrections"]);
  assert.deepStrictEqual(table.rows.find((r) => r.label === "Frames interpolated").cells,
                         ["62.5 %", "100.0 %", "0.0 %"]);
  // Without the flag the page is as before: one column, no stretches.
  const plain = A.summarize(A.parseTrace(traceText(SPLIT.map((f) => ({ ...f, flags: f.flags & ~512 })))));
  assert.strictEqual(plain.parts, null);
  assert.deepStrictEqual(plain.stretches, []);
  assert.deepStrictEqual(A.recordingTable(plain, null).titles, [""]);
});

test("two recordings side by side, with B - A", () => {
  const a = { summary: A.summarize(A.parseTrace(traceText(FRAMES))), log: A.parseLog(ACTIVE_RUN), names: ["a.csv", "a.log"] };
  const b = { summary: A.summarize(A.parseTrace(traceText(SPLIT))), log: null, names: ["b.csv"] };
  const table = A.comparisonTable(a, b);
  assert.deepStrictEqual(table.titles, ["A", "B", "B \u2212 A"]);
  const rows = Object.fromEntries(table.rows.map((r) => [r.label, r.cells]));
  assert.deepStrictEqual(rows, {
    "Frames": ["5", "8", "+3"],
    "Duration": ["0.045 s", "0.075 s", "+0.030 s"],
    "Frame rate": ["88.9 fps", "93.3 fps", "+4.4 fps"],
    "Frame time p50 / p95 / p99": ["10.000 / 20.000 / 20.000 ms", "10.000 / 15.000 / 15.000 ms",
                                   "0.000 / -5.000 / -5.000 ms"],
    "Animation error mean / p99 / max": ["6.667 / 18.333 / 18.333 ms", "7.381 / 16.667 / 16.667 ms",
                                         "+0.714 / -1.667 / -1.667 ms"],
    "Mean lag behind the newest tick": ["6.333 ms", "6.667 ms", "+0.333 ms"],
    "Frames interpolated": ["80.0 %", "62.5 %", "-17.5 points"],
    "Frames without a valid fraction": ["1", "1", "0"],
    "Trace rows dropped by the plug-in": ["5", "no log", "n/a"],
  });
  const text = A.summaryText([a, b]);
  for (const expected of [/^A: a\.csv \+ a\.log\nB: b\.csv\n/, /B \u2212 A\n/,
    /\nFrames interpolated +80\.0 % +62\.5 % +-17\.5 points\n/,
    /Recording B with and without corrections:\n +All frames +With corrections +Without corrections\n/,
    /\nA: Start-up \(.*features are active/]) {
    assert.match(text, expected);
  }
  // The histogram counts each recording in the same bins.
  const h = A.histogram([b.summary.series.frameMs, a.summary.series.frameMs], 4);
  assert.deepStrictEqual(h.counts.map((c) => c.reduce((x, y) => x + y)), [7, 4]);
  near(h.edges[0], 5 + 15 / 8, "first bin's middle");
});

test("picked files become recordings A and B by content", () => {
  const early = { name: "x.csv", trace: A.parseTrace(traceText(SPLIT)) };         // from 1 s
  const late = { name: "y.csv", trace: A.parseTrace(traceText(FRAMES)) };         // from 10 s
  const logOf = (rows) => ({ name: `${rows}.log`, log: A.parseLog(logLine("INFO", START) +
                                                      logLine("INFO", `MotionTrace written=${rows} dropped=0`)) });
  const names = (recordings) => recordings.map((r) => r.names.join(" "));
  assert.deepStrictEqual(names(A.pairRecordings([late, early], [logOf(5), logOf(8)])),
                         ["x.csv 8.log", "y.csv 5.log"]);
  assert.deepStrictEqual(names(A.pairRecordings([late, early], [logOf(9), logOf(5)])),
                         ["x.csv 9.log", "y.csv 5.log"], "the log left over goes with the trace left over");
  assert.deepStrictEqual(names(A.pairRecordings([late], [logOf(9)])), ["y.csv 9.log"]);
  for (const [traces, logs, expected] of [
    [[late, early, late], [], /3 motion traces/],
    [[late], [logOf(5), logOf(5)], /2 logs were picked for 1 motion trace;/],
    [[late, early], [logOf(9)], /9\.log belongs to cannot be told/],
  ]) {
    assert.throws(() => A.pairRecordings(traces, logs), (e) => e instanceof A.InputError && expected.test(e.message));
  }
});

test("summary text names every figure", () => {
  const s = A.summarize(A.parseTrace(traceText(FRAMES)));
  const text = A.summaryText([{ summary: s, log: A.parseLog(ACTIVE_RUN), names: ["t.csv"] }]);
  for (const expected of [/^Frames: 5\n/, /Animation error mean \/ p99 \/ max: 6\.667 \/ 18\.333 \/ 18\.333 ms/,
    /Mean lag behind the newest tick: 6\.333 ms/, /Frames interpolated: 80\.0 %/,
    /Frames without a valid fraction: 1/, /hooks are active|features are active/, /dropped by the plug-in: 5/]) {
    assert.match(text, expected);
  }
  const split = A.summaryText([{ summary: A.summarize(A.parseTrace(traceText(SPLIT))), log: null, names: [] }]);
  assert.match(split, /^ +All frames +With corrections +Without corrections\nFrames +8 +5 +3\n/);
});

test("changes of the INI while the game ran split the summary into stretches of settings", () => {
  // The SPLIT frames with the settings changed at frames 2 and 6 (12.5 ms, 10 ms, 10 ms | ...).
  const marked = SPLIT.map((f, i) => ({ ...f, flags: f.flags & ~512 | (i === 2 || i === 6 ? 1024 : 0) }));
  const s = A.summarize(A.parseTrace(traceText(marked)));
  assert.deepStrictEqual(s.settingsChanges.map((c) => c.frame), [2, 6]);
  near(s.settingsChanges[1].time, 0.060, "second change");
  assert.deepStrictEqual(s.settings.columns.map((c) => c.summary.frames), [2, 4, 2]);
  // Frame-to-frame figures stay inside their stretch: 1 + 3 + 1 steps of the 7.
  near(s.settings.columns[1].summary.durationSeconds, 0.030, "second stretch");
  assert.strictEqual(A.summarize(A.parseTrace(traceText(SPLIT))).settings, null);
});

const applied = (text) => logLine("INFO", `Settings changed: ${text}.`);
// Applied at frames 10, 20 and 30 of a 10 fps trace; the WARN lines and a key back to the value in
// force are no applied change.
const TUNING = logLine("INFO", START) + applied("TargetFPS 100 -> 50") +
  logLine("WARN", "Settings changed: RenderUnlock false -> true takes effect at the next start.") +
  logLine("INFO", "Settings changed: RenderUnlock true -> false is back to the value in force.") +
  applied("ParticleInterpolation true -> false") +
  logLine("WARN", "Invalid [Timing] TargetFPS (expected 0..1000): fast; the running settings stay.") +
  logLine("WARN", "Settings changed: RenderUnlock false -> true, Diagnostics false -> true; each takes effect at the next start.") +
  applied("ParticleInterpolation false -> true, TargetFPS 50 -> 100");
// The trace turned off, a change while it was off, then on again into a second file.
const REOPENED = logLine("INFO", START) + applied("TargetFPS 100 -> 60") + applied("MotionTrace true -> false") +
  logLine("INFO", "MotionTrace written=40 dropped=1") + applied("PhaseDelayPercent 0 -> 30") +
  logLine("INFO", "Motion trace: recording to Z:\\game\\Driftglass.motion.2.csv.") + applied("MotionTrace false -> true") +
  applied("TargetFPS 60 -> 50") + applied("TargetFPS 50 -> 60") + logLine("INFO", "MotionTrace written=40 dropped=3");
const PER_STRETCH = ["All frames", "Settings at start", "Settings from 1.0 s", "Settings from 2.0 s", "Settings from 3.0 s"];

test("stretches are grouped by the settings the log names, else kept apart while few", () => {
  const cases = [  // [what, marked frames, log, trace's name, titles, each column's stretches (first frames)]
    ["the same settings again share a column", [10, 20, 30], TUNING, "Driftglass.motion.csv",
     ["All frames", "Settings at start", "TargetFPS 50", "TargetFPS 50, ParticleInterpolation false"], [[0, 30], [10], [20]]],
    ["no log, three changes", [10, 20, 30], null, "", PER_STRETCH, [[0], [10], [20], [30]]],
    ["no log, four changes", [8, 16, 24, 32], null, "", ["All frames", "Settings at start", "After the first change"],
     [[0], [8, 16, 24, 32]]],
    ["a log with fewer changes than marks", [10, 20, 30], logLine("INFO", START) + applied("TargetFPS 100 -> 50") +
     applied("TargetFPS 50 -> 100"), "", PER_STRETCH, [[0], [10], [20], [30]]],
    ["a numbered trace, marked from its first frame", [0, 10, 20], REOPENED, "Driftglass.motion.2.csv",
     ["All frames", "Settings at start", "TargetFPS 50"], [[0, 20], [10]]],
    ["the first file of that run", [10], REOPENED, "Driftglass.motion.csv",
     ["All frames", "Settings at start", "TargetFPS 60"], [[0], [10]]],
  ];
  for (const [what, changed, logText, name, titles, members] of cases) {
    const log = logText && A.logForTrace(A.parseLog(logText), name);
    const s = A.summarize(A.parseTrace(steadyTrace(40, { rate: 10, changed })), log);
    assert.deepStrictEqual(A.recordingTable(s, log).titles, titles, what);
    assert.deepStrictEqual(s.settings.columns.map((c) => c.stretches.map((st) => st.first)), members, what);
    const size = (first) => [...changed, 40].find((c) => c > first) - first;
    const frames = members.map((firsts) => firsts.reduce((sum, first) => sum + size(first), 0));
    assert.deepStrictEqual(s.settings.columns.map((c) => c.summary.frames), frames, what);
    assert.strictEqual(s.settings.note !== "", /four|fewer/.test(what), `${what}: ${s.settings.note}`);
  }
});

test("the log's settings lines: counted, the numbered file's own totals, one log for two of its files", () => {
  const tuning = A.parseLog(TUNING);
  assert.strictEqual(A.settingsCountText(tuning.settings), "3 changes of settings, 1 refused, 2 for the next start");
  assert.deepStrictEqual(tuning.warnings, [], "settings lines are folded apart from the warnings");
  const reopened = A.parseLog(REOPENED);
  assert.deepStrictEqual(["Driftglass.motion.csv", "driftglass.MOTION.2.csv"].map((n) => A.logForTrace(reopened, n).trace),
                         [{ written: 40, dropped: 1 }, { written: 40, dropped: 3 }]);
  const s = A.summarize(A.parseTrace(steadyTrace(40, { rate: 10, changed: [10, 20, 30] })), A.logForTrace(tuning, ""));
  assert.match(A.summaryText([{ summary: s, log: A.logForTrace(tuning, ""), names: [] }]),
               /\nStretches of settings:\n {2}Settings at start: 0\.0\u20131\.0 s \(10 frames\), 3\.0\u20133\.9 s \(10 frames\)\n {2}TargetFPS 50: 1\.0\u20132\.0 s .*\nSettings while playing: 3 changes/s);
  const traces = [["Driftglass.motion.2.csv", 500], ["Driftglass.motion.csv", 100]]
    .map(([name, start]) => ({ name, trace: A.parseTrace(steadyTrace(40, { start })) }));
  const paired = A.pairRecordings(traces, [{ name: "Driftglass.log", log: reopened }]);
  assert.deepStrictEqual(paired.map((r) => [r.names.join(" "), r.log.trace.dropped]),
                         [["Driftglass.motion.csv Driftglass.log", 1], ["Driftglass.motion.2.csv Driftglass.log", 3]]);
});
