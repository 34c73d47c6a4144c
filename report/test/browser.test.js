// Opens the built page from disk in headless Chromium, as a player would, and loads files into it.
//   env: REPORT_HTML (the built page), CHROMIUM (default /usr/bin/chromium), NODE_PATH (puppeteer-core)
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("fs");
const os = require("os");
const path = require("path");
const puppeteer = require("puppeteer-core");
const { traceText, steadyTrace, tunedRecording, logLine, START, TELEMETRY } = require("./trace_fixture.js");

const page = process.env.REPORT_HTML;
const work = fs.mkdtempSync(path.join(os.tmpdir(), "driftglass-report-"));
function file(name, text) {
  fs.writeFileSync(path.join(work, name), text);
  return path.join(work, name);
}

const ROWS = 2000;
const trace = file("trace-by-content.txt", steadyTrace(ROWS));
const log = file("plugin.log", logLine("INFO", START) +
  logLine("INFO", "Main-view camera interpolation enabled: render-scoped position.") +
  logLine("INFO", "Compatible x86 executable signatures accepted. Requested hooks are active.") +
  logLine("INFO", TELEMETRY) + logLine("INFO", "MotionTrace written=2000 dropped=7"));

let browser, tab;
test.before(async () => {
  browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true, args: ["--no-sandbox", "--disable-gpu"] });
  tab = await browser.newPage();
  await tab.setViewport({ width: 1200, height: 900 });
  // Nothing may be fetched: the page must work offline from disk.
  await tab.setRequestInterception(true);
  tab.on("request", (r) => (r.url().startsWith("file:") ? r.continue() : r.abort()));
  await tab.goto("file://" + page);
});
test.after(async () => { if (browser) await browser.close(); });

async function pick(input, files) {
  await tab.evaluate(() => { document.body.dataset.state = ""; });
  await (await tab.$(input)).uploadFile(...files);
  await tab.waitForFunction(() => ["ready", "error"].includes(document.body.dataset.state));
  return read();
}
function read() {
  return tab.evaluate(() => ({
    state: document.body.dataset.state,
    messages: Array.from(document.querySelectorAll("#messages p"), (p) => p.textContent),
    titles: Array.from(document.querySelectorAll("#summary tr.titles th"), (th) => th.textContent).slice(1),
    // A row's cells, " | " between columns.
    summary: Object.fromEntries(Array.from(document.querySelectorAll("#summary tr[data-label]"),
      (tr) => [tr.dataset.label, Array.from(tr.querySelectorAll("td"), (td) => td.textContent).join(" | ")])),
    points: window.driftglassCharts.map((u) => [u.chartTitle, u.data[0].length, u.data.slice(1).map((d) => d.length)]),
    reportHidden: document.getElementById("report").hidden && document.getElementById("compare").hidden,
    outcome: Array.from(document.querySelectorAll(".outcome"), (o) => o.textContent).join(" "),
    telemetryRows: document.querySelectorAll(".telemetry tr").length,
  }));
}
const load = (...files) => pick("#files", files);
test("a trace and a log, picked together, fill the report", async () => {
  const shown = await load(trace, log);
  assert.strictEqual(shown.state, "ready", shown.messages.join("; "));
  assert.strictEqual(shown.summary["Frames"], String(ROWS));
  assert.strictEqual(shown.summary["Frame rate"], "144.0 fps");
  assert.strictEqual(shown.summary["Frames interpolated"], "100.0 %");
  assert.strictEqual(shown.summary["Trace rows dropped by the plug-in"], "7");
  assert.match(shown.summary["Animation error mean / p99 / max"], /^0\.000 \/ 0\.000 \/ 0\.000 ms$/);
  assert.match(shown.outcome, /features are active/);
  assert.strictEqual(shown.telemetryRows, 2);
  const timeCharts = shown.points.filter(([title]) => title !== "Frame time histogram");
  assert.strictEqual(timeCharts.length, 5);
  for (const [title, x, series] of timeCharts) {
    assert.strictEqual(x, ROWS, title);
    for (const length of series) assert.strictEqual(length, ROWS, title);
  }
  await tab.screenshot({ path: path.join(path.dirname(page), "report-screenshot.png"), fullPage: true });
  const png = await tab.evaluate(() => window.driftglassReport.chartsImage().toDataURL("image/png").length);
  assert.ok(png > 10000, "the chart export holds an image");
});

test("bad files show a message and no report", async () => {
  const good = steadyTrace(5);
  const cases = [
    ["empty.csv", "", /empty/],
    ["other.csv", "a,b,c\r\n1,2,3\r\n", /not a Driftglass motion trace/],
    ["word.csv", good.replace(/\r\n100\.0[^,]*/, "\r\nabc"), /Line 2 .*non-numeric/],
  ];
  for (const [name, text, expected] of cases) {
    const shown = await load(file(name, text));
    assert.strictEqual(shown.state, "error", name);
    assert.match(shown.messages.join(" "), expected);
    assert.ok(shown.reportHidden, `${name}: no half-drawn report`);
    assert.strictEqual(shown.points.length, 0, name);
  }
  const cut = await load(file("cut.csv", good + "100.05,3,2"));
  assert.strictEqual(cut.state, "ready");
  assert.match(cut.messages.join(" "), /cut short and was ignored/);
  assert.strictEqual(cut.summary["Frames"], "5");
});

test("two recordings: both series on the timing charts and A, B and B - A in the summary", async () => {
  const b = file("b.csv", steadyTrace(1000, { rate: 100, start: 300 }));
  // Picked together, the trace recorded first is A whatever the order.
  const both = await load(b, trace);
  assert.strictEqual(both.state, "ready", both.messages.join("; "));
  assert.deepStrictEqual(both.titles, ["A", "B", "B \u2212 A"]);
  assert.strictEqual(both.summary["Frames"], "2000 | 1000 | -1000");
  assert.strictEqual(both.summary["Frame rate"], "144.0 fps | 100.0 fps | -44.0 fps");
  assert.strictEqual(both.summary["Frames interpolated"], "100.0 % | 100.0 % | 0.0 points");
  const series = await tab.evaluate(() => window.driftglassCharts.filter((u) => u.data.length === 3).map((u) => [
    u.chartTitle, u.series.slice(1).map((s) => s.label),
    // Per series: how many frames it draws and the time of its first drawn value.
    u.data.slice(1).map((ys) => { const at = ys.findIndex((y) => y != null);
                                  return [ys.filter((y) => y != null).length, u.data[0][at]]; })]));
  assert.deepStrictEqual(series.map(([title]) => title), ["Frame time", "Animation error", "Frame time histogram"]);
  for (const [title, labels, drawn] of series.slice(0, 2)) {
    assert.deepStrictEqual(labels.map((l) => l[0]), ["A", "B"], title);
    // Each against the time since its own first frame; the first frame has no step.
    assert.deepStrictEqual(drawn.map(([n]) => n), [1999, 999], title);
    assert.ok(Math.abs(drawn[0][1] - 1 / 144) < 1e-6 && Math.abs(drawn[1][1] - 1 / 100) < 1e-6, title);
  }
  const text = await tab.evaluate(() => window.driftglassReport.summaryText());
  assert.match(text, /^A: trace-by-content\.txt\nB: b\.csv\n\n.*B \u2212 A\nFrames +2000 +1000 +-1000\n/s);

  await tab.click("#swap-ab");
  assert.strictEqual((await read()).summary["Frames"], "1000 | 2000 | +1000");
  await tab.click("#clear-b");
  const single = await read();
  assert.deepStrictEqual([single.titles, single.summary["Frames"], single.points.length], [[], "1000", 6]);
  const added = await pick("#files-b", [trace]);
  assert.strictEqual(added.summary["Frames"], "1000 | 2000 | +1000", "B's own zone adds B");
  const bad = await pick("#files-b", [file("empty-b.csv", "")]);
  assert.match(bad.messages.join(" "), /empty/);
  assert.deepStrictEqual([bad.state, bad.summary["Frames"], bad.points.length], ["error", "1000 | 2000 | +1000", 9],
                         "a bad B leaves the comparison as it was");
});

test("a stretch drawn without corrections is shaded and summarized apart", async () => {
  const shown = await load(file("compare-key.csv", steadyTrace(ROWS, { uncorrected: [500, 999] })));
  assert.strictEqual(shown.state, "ready", shown.messages.join("; "));
  assert.deepStrictEqual(shown.titles, ["All frames", "With corrections", "Without corrections"]);
  assert.strictEqual(shown.summary["Frames"], "2000 | 1500 | 500");
  const error = shown.summary["Animation error mean / p99 / max"].split(" | ");
  assert.strictEqual(error[1], "0.000 / 0.000 / 0.000 ms", "with corrections the motion is even");
  assert.notStrictEqual(error[2], "0.000 / 0.000 / 0.000 ms", "without them it steps with the ticks");
  const charts = await tab.evaluate(() => window.driftglassCharts.filter((u) => u.timeChart).map((u) => {
    // The band is drawn under the series: count tinted pixels of a row high in the plot, inside
    // the band and before it.
    const { left, top, width, height } = u.bbox;
    const start = u.valToPos(u.shaded[0].start, "x", true), end = u.valToPos(u.shaded[0].end, "x", true);
    const row = u.ctx.getImageData(left, Math.round(top + height * 0.07), width, 1).data;
    const tinted = (from, to) => {
      let count = 0;
      for (let x = Math.ceil(from - left) + 2; x < to - left - 2; ++x) if (row[4 * x + 3] > 0) ++count;
      return count / Math.max(1, to - from - 4);
    };
    return [u.chartTitle, u.shaded.map((b) => [b.start, b.end]), tinted(start, end), tinted(left, start)];
  }));
  assert.strictEqual(charts.length, 5);
  for (const [title, bands, inside, before] of charts) {
    // From frame 500's display to frame 1000's, when corrections are back.
    assert.deepStrictEqual(bands, [[500 / 144, 1000 / 144].map((t) => Number((100 + t).toFixed(9)) - 100)], title);
    assert.ok(inside > 0.8 && before < 0.2, `${title}: tinted ${inside} inside, ${before} before`);
  }
});

test("up to three changes of the INI's settings: lines on the time charts and a stretch each", async () => {
  const shown = await load(file("settings.csv", steadyTrace(ROWS, { changed: [720, 1080, 1440] })));
  assert.strictEqual(shown.state, "ready", shown.messages.join("; "));
  assert.deepStrictEqual(shown.titles, ["All frames", "Settings at start", "Settings from 5.0 s",
                                        "Settings from 7.5 s", "Settings from 10.0 s"]);
  assert.strictEqual(shown.summary["Frames"], "2000 | 720 | 360 | 360 | 560");
  const lines = await tab.evaluate(() => window.driftglassCharts.filter((u) => u.timeChart).map((u) => {
    const lines = u.shaded.filter((b) => b.start === b.end && !b.tick);
    const red = lines.filter((line) => {
      const x = Math.round(u.valToPos(line.start, "x", true));
      const [r, g] = u.ctx.getImageData(x, Math.round(u.bbox.top + u.bbox.height * 0.07), 1, 1).data;
      return r > g + 80;  // the line's own red, not a grey grid line
    });
    return [u.chartTitle, lines.map((line) => Number(line.start.toFixed(6))), red.length];
  }));
  assert.strictEqual(lines.length, 5);
  for (const [title, starts, drawn] of lines) assert.deepStrictEqual([starts, drawn], [[5, 7.5, 10], 3], title);
});

test("a long tuning session: a column per set of settings, its log lines folded, ticks on a strip", async () => {
  const { trace: tuned, log: tunedLog } = tunedRecording(20000, 40);
  // A numbered trace opens as the first one does.
  const shown = await load(file("Driftglass.motion.2.csv", tuned), file("Driftglass.log", tunedLog));
  assert.strictEqual(shown.state, "ready", shown.messages.join("; "));
  assert.deepStrictEqual(shown.titles, ["All frames", "Settings at start", "TargetFPS 50",
    "TargetFPS 50, ParticleInterpolation false", "TargetFPS 144, ParticleInterpolation false"]);
  const folded = await tab.evaluate(() => [".settings-lines", "#summary tr.stretches details"].map((selector) =>
    Array.from(document.querySelectorAll(selector), (d) => [d.open, d.querySelector("summary").textContent, d.querySelectorAll("li").length])));
  assert.deepStrictEqual(folded, [[[false, "While the game ran: 40 changes of settings, 5 refused, 5 for the next start", 50]],
    [[false, "11 stretches", 11], [false, "10 stretches", 10], [false, "10 stretches", 10], [false, "10 stretches", 10]]]);
  assert.doesNotMatch(shown.outcome.replace(folded[0][0][1], ""), /Warning: /, "settings lines are no warnings");
  const charts = await tab.evaluate(() => window.driftglassCharts.filter((u) => u.timeChart).map((u) => {
    // Red at each change in the strip above the plot, and not in the plot itself.
    const red = (x, y) => { const [r, g] = u.ctx.getImageData(x, y, 1, 1).data; return r > g + 80; };
    const strip = Math.round(u.bbox.top - 8 * uPlot.pxRatio), inside = Math.round(u.bbox.top + u.bbox.height * 0.07);
    const ticks = u.shaded.filter((b) => b.tick).map((b) => Math.round(u.valToPos(b.start, "x", true)));
    return [u.chartTitle, ticks.length, ticks.filter((x) => red(x, strip)).length, ticks.filter((x) => red(x, inside)).length];
  }));
  assert.strictEqual(charts.length, 5);
  for (const [title, ticks, inStrip, inPlot] of charts) assert.deepStrictEqual([ticks, inStrip, inPlot], [40, 40, 0], title);
});

test("time to open a 100 000-row trace (printed, not judged)", async () => {
  const big = file("big.csv", steadyTrace(100000));
  const started = Date.now();
  const shown = await load(big);
  const seconds = (Date.now() - started) / 1000;
  assert.strictEqual(shown.summary["Frames"], "100000");
  console.log(`# opening a 100000-row trace took ${seconds.toFixed(2)} s`);
});
