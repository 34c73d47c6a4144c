// The analysis against hand-made files with answers worked out by hand.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const A = require("../src/analysis.js");
const { traceText, logLine, START, TELEMETRY } = require("./trace_fixture.js");

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

test("summary text names every figure", () => {
  const s = A.summarize(A.parseTrace(traceText(FRAMES)));
  const text = A.summaryText(s, A.parseLog(ACTIVE_RUN));
  for (const expected of [/Frames: 5/, /Animation error mean\/p99\/max: 6\.667 \/ 18\.333 \/ 18\.333 ms/,
    /Mean lag behind the newest tick: 6\.333 ms/, /Frames interpolated: 80\.0 %/,
    /Frames without a valid fraction: 1/, /hooks are active|features are active/, /dropped by the plug-in: 5/]) {
    assert.match(text, expected);
  }
});
