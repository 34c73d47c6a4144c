// Fails when the docs state something the project does not do:
//  (a) a log line quoted in docs/configuration.md (a text in double quotes, and a line in
//      backticks in its "What the log says" list) that the plug-in's sources cannot write;
//  (b) a command named in docs/measurements.md (`bash scripts/....sh`, `node ....js`) that does
//      not answer --help with its usage and exit 0, without building or running anything.
// Usage: node doc_facts.js [PROJECT_DIR]
//        node doc_facts.js --line "TEXT" [PROJECT_DIR]   (checks one text against src/, says why)
//
// How a quoted line is matched: the docs write lines with example values ("Compare key F9: ...",
// "59.94 Hz", a path) and "..." for parts left out, while the sources build them from pieces
// (literals split across lines, %ls and %u, a name or an error text added between literals). So
// the quote is cut into fixed fragments where it holds a stand-in for a value (see fragmentsOf:
// first strictly, "...", numbers and the like; then, only if that finds nothing, the INI's names
// and a value after a colon too). Each fragment with 3 letters or more must be found in the string
// literals of one source file (their text run together in file order, blanks folded), each after
// the one before and at most kMostGap characters of literal text further on; a line may also be
// two such runs from two places (an error text and the line that writes it). A quote with no
// fragment of 6 letters or more fails as unchecked. `--line` shows the fragments and the files.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');

const kMostGap = 300;
const kFewestLetters = 3;
const kFewestLettersInAll = 6;

const args = process.argv.slice(2);
let oneLine = null;
if (args[0] === '--line') {
  oneLine = args[1];
  args.splice(0, 2);
}
const root = path.resolve(args[0] || path.join(__dirname, '..'));

// --- The string literals of C++ sources, run together per file -----------------------------------

function decodeEscapes(body) {
  return body.replace(/\\(x[0-9A-Fa-f]+|u[0-9A-Fa-f]{4}|[0-7]{1,3}|.)/g, (all, e) => {
    if (e[0] === 'x' || e[0] === 'u') return String.fromCharCode(parseInt(e.slice(1), 16));
    if (/^[0-7]/.test(e)) return String.fromCharCode(parseInt(e, 8));
    return { n: '\n', t: '\t', r: '\r', '\\': '\\', '"': '"', "'": "'", '?': '?' }[e] ?? e;
  });
}

// Every string literal's text in file order (comments and character literals skipped; raw
// strings, prefixes and C++14 digit separators understood).
function literalsOf(source) {
  const out = [];
  let i = 0;
  while (i < source.length) {
    const c = source[i];
    if (c === '/' && source[i + 1] === '/') {
      i = source.indexOf('\n', i);
      if (i < 0) break;
    } else if (c === '/' && source[i + 1] === '*') {
      i = source.indexOf('*/', i + 2);
      if (i < 0) break;
      i += 2;
    } else if (c === "'") {
      const word = /[A-Za-z0-9_]*$/.exec(source.slice(Math.max(0, i - 16), i))[0];
      if (/^[0-9]/.test(word)) {  // 1'000'000
        ++i;
        continue;
      }
      for (++i; i < source.length && source[i] !== "'"; ++i) if (source[i] === '\\') ++i;
      ++i;
    } else if (c === '"') {
      const word = /[A-Za-z0-9_]*$/.exec(source.slice(Math.max(0, i - 16), i))[0];
      if (/^(?:L|u8|u|U)?R$/.test(word)) {
        const open = source.indexOf('(', i);
        const delimiter = source.slice(i + 1, open);
        const close = source.indexOf(`)${delimiter}"`, open);
        out.push(source.slice(open + 1, close));
        i = close + delimiter.length + 2;
      } else {
        let j = i + 1;
        for (; j < source.length && source[j] !== '"' && source[j] !== '\n'; ++j) if (source[j] === '\\') ++j;
        out.push(decodeEscapes(source.slice(i + 1, j)));
        i = j + 1;
      }
    } else {
      ++i;
    }
  }
  return out;
}

function fold(text) {
  return text.replace(/\s+/g, ' ');
}

function filesUnder(folder, pattern) {
  const found = [];
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const full = path.join(folder, entry.name);
    if (entry.isDirectory()) found.push(...filesUnder(full, pattern));
    else if (pattern.test(entry.name)) found.push(full);
  }
  return found.sort();
}

const sourceTexts = filesUnder(path.join(root, 'src'), /\.(cpp|h|inl|rc|in)$/).map((file) => ({
  file: path.relative(root, file),
  text: fold(literalsOf(fs.readFileSync(file, 'utf8')).join('')),
}));

// The report page's own words (the buttons and boxes the page section names), as written.
const pageTexts = filesUnder(path.join(root, 'report', 'src'), /\.(js|html)$/).map((file) => ({
  file: path.relative(root, file),
  text: fold(fs.readFileSync(file, 'utf8')),
}));

// --- A quoted line cut into its fixed fragments --------------------------------------------------

const ini = fs.readFileSync(path.join(root, 'config', 'Driftglass.ini'), 'utf8');
const iniKeys = new Set([...ini.matchAll(/^\s*;?\s*([A-Za-z]+)\s*=/gm)].map((m) => m[1]));
const iniSections = new Set([...ini.matchAll(/^\s*\[([A-Za-z]+)\]/gm)].map((m) => `[${m[1]}]`));
const WILD = '\u0000';
const letters = (text) => (text.match(/[A-Za-z]/g) || []).length;

// The fixed fragments of a quote. Strict: "...", <placeholders>, N, numbers, words with a digit,
// true and false stand for values. Relaxed, tried when strict finds nothing: also the INI's key and
// section names, names with "::" or "_" (an engine function, an import), and a plain word after a
// colon that ends the line or a clause ("RenderUnlock: maybe", "...): fast;"), which the sources
// add from a table or from the value read.
function fragmentsOf(quote, relaxed) {
  let text = fold(quote.replace(/`/g, '')).trim();
  text = text.replace(/\.\.\.|\u2026/g, WILD).replace(/<[^<>\s]+>/g, WILD);
  const words = text.split(' ');
  const fixed = words.map((word, n) => {
    // A word with a digit next to a letter (F9, Win32, x86, 0x1A, a path) stands for a value whole.
    if (/[A-Za-z][0-9]|[0-9][A-Za-z]|[0-9]\.[A-Za-z]|[A-Za-z]\.[0-9]/.test(word)) return WILD;
    if (word.replace(/[^A-Za-z0-9]/g, '') === 'N') return word.replace('N', WILD);  // "error N"
    // Other numbers (59.94, -5, 1..60, 55%) only where they stand.
    word = word.replace(/[-+]?\d[\d.,]*%?/g, WILD);
    const bare = word.replace(/^[^A-Za-z0-9_[\]]+|[^A-Za-z0-9_\]]+$/g, '');
    const name = bare.replace(/^\[|\]$/g, '');
    if (name === 'true' || name === 'false') return word.replace(name, WILD);
    if (!relaxed || bare === '') return word;
    if (iniSections.has(bare)) return word.replace(bare, WILD);
    if (iniKeys.has(name) || /::|_/.test(name)) return word.replace(name, WILD);
    if (iniKeys.has(name.split('=')[0])) return word.replace(name, WILD);  // "RenderUnlock=true," of a list
    const afterColon = n > 0 && /:$/.test(words[n - 1]);
    const plain = /^[A-Za-z]+[;,]?$/.test(word);
    if (afterColon && plain && (n === words.length - 1 || /[;,]$/.test(word))) return word.replace(name, WILD);
    return word;
  });
  return fixed.join(' ').split(WILD).map((f) => f.trim()).filter((f) => letters(f) >= kFewestLetters);
}

// Where the fragments are found in one text, each after the one before within kMostGap characters
// of it; null when they are not.
function placeIn(text, fragments, from = 0, first = true) {
  if (fragments.length === 0) return [];
  const [head, ...rest] = fragments;
  for (let at = text.indexOf(head, from); at >= 0; at = text.indexOf(head, at + 1)) {
    if (!first && at > from + kMostGap) return null;
    const tail = placeIn(text, rest, at + head.length, false);
    if (tail) return [at, ...tail];
  }
  return null;
}

// The file whose literals hold the fragments in order; or two places, when a line is one text
// with another added to it elsewhere (an error text and the line that writes it, a name and what
// is said of it): the fragments cut in two, between two of them or inside one where a letter meets
// something else, each part in order in one file.
function placeInFiles(texts, fragments) {
  const placed = (part) => texts.find(({ text }) => placeIn(text, part));
  const whole = placed(fragments);
  if (whole) return [whole.file];
  const keep = (part) => part.map((f) => f.trim()).filter((f) => letters(f) >= kFewestLetters);
  for (let i = 0; i < fragments.length; ++i) {
    const f = fragments[i];
    for (let cut = 0; cut < f.length; ++cut) {
      if (cut > 0 && /[A-Za-z0-9]/.test(f[cut - 1]) && /[A-Za-z0-9]/.test(f[cut])) continue;
      const head = keep([...fragments.slice(0, i), f.slice(0, cut)]);
      const tail = keep([f.slice(cut), ...fragments.slice(i + 1)]);
      if (head.length === 0 || tail.length === 0) continue;
      const first = placed(head);
      const second = first && placed(tail);
      if (second) return [first.file, second.file];
    }
  }
  return null;
}

// Where a quote is found, or why it is not.
function judge(quote, texts) {
  let fragments = [];
  for (const relaxed of [false, true]) {
    fragments = fragmentsOf(quote, relaxed);
    if (!fragments.some((f) => letters(f) >= kFewestLettersInAll)) {
      return { ok: false, why: `too little fixed text to check (fragments: ${JSON.stringify(fragments)})` };
    }
    const files = placeInFiles(texts, fragments);
    if (files) return { ok: true, files, fragments, relaxed };
  }
  const missing = fragments.filter((f) => !texts.some(({ text }) => text.includes(f)));
  return {
    ok: false,
    why: missing.length > 0 ? `not in any source: ${JSON.stringify(missing)}`
                            : `not in this order in any source: ${JSON.stringify(fragments)}`,
  };
}

if (oneLine !== null) {
  const verdict = judge(oneLine, sourceTexts);
  console.log(verdict.ok ? `found in ${verdict.files.join(' + ')}${verdict.relaxed ? ' (names as values)' : ''}: ` +
                           `fragments ${JSON.stringify(verdict.fragments)}`
                         : `not found: ${verdict.why}`);
  process.exit(verdict.ok ? 0 : 1);
}

// --- (a) The log lines docs/configuration.md quotes ----------------------------------------------

const failures = [];
const configPage = 'docs/configuration.md';

// The page as blocks a quote may span: each table row, each list item, each paragraph; with the
// section heading each falls under. Code blocks hold no quotes to check.
function blocksOf(file) {
  const blocks = [];
  let heading = '';
  let current = null;
  let fenced = false;
  const end = () => {
    if (current) blocks.push(current);
    current = null;
  };
  for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    if (/^\s*```/.test(line)) {
      fenced = !fenced;
      end();
      continue;
    }
    if (fenced || /^( {4}|\t)/.test(line) && !current) continue;
    const title = /^#{1,6}\s+(.*)$/.exec(line);
    if (title) {
      end();
      heading = title[1].trim();
    } else if (line.trim() === '') {
      end();
    } else if (/^\s*\|/.test(line)) {
      end();
      blocks.push({ heading, text: line, row: true });
    } else if (/^\s*[-*] /.test(line)) {
      end();
      current = { heading, text: line, item: true };
    } else if (current) {
      current.text += ` ${line.trim()}`;
    } else {
      current = { heading, text: line };
    }
  }
  end();
  return blocks;
}

const quotes = [];
let afterLogList = false;
for (const block of blocksOf(path.join(root, configPage))) {
  const text = fold(block.text);
  for (const [, quote] of text.matchAll(/"([^"]+)"/g)) {
    if (!/\s/.test(quote.trim())) continue;  // one word ("Shipped", "default"): a term, not a line
    quotes.push({ quote, heading: block.heading });
  }
  // The "What the log says" list: the lines in backticks (a span with a blank in it; `[General]`
  // and the like name sections).
  if (!block.item) afterLogList = /^What the log says:/.test(text.trim());
  else if (afterLogList) {
    for (const [, span] of text.replace(/"[^"]*"/g, '').matchAll(/`([^`]+)`/g)) {
      if (/\s/.test(span.trim())) quotes.push({ quote: span, heading: block.heading });
    }
  }
}

// The section on the trace and the report page names the page's own words beside log lines.
const pageSection = /report page/i;
let checkedQuotes = 0;
for (const { quote, heading } of quotes) {
  ++checkedQuotes;
  let verdict = judge(quote, sourceTexts);
  if (!verdict.ok && pageSection.test(heading)) {
    const onPage = judge(quote, pageTexts);
    if (onPage.ok) verdict = onPage;
  }
  if (!verdict.ok) failures.push(`${configPage}: "${quote}": ${verdict.why}`);
}

// --- (b) The commands docs/measurements.md names -------------------------------------------------

const measurementsPage = 'docs/measurements.md';
const commands = new Map();
{
  const text = fs.readFileSync(path.join(root, measurementsPage), 'utf8');
  const code = [...text.matchAll(/`([^`\n]+)`/g)].map((m) => m[1])
    .concat(text.split('\n').filter((line) => /^( {4}|\t)/.test(line)));
  for (const span of code) {
    for (const [, program, file] of span.matchAll(/\b(bash|node)\s+((?:[\w.-]+\/)*[\w.-]+\.(?:sh|js))\b/g)) {
      commands.set(`${program} ${file}`, { program, file });
    }
  }
}

// Anything a --help that did more than print would reach for: each stand-in notes that it ran.
const stand = fs.mkdtempSync(path.join(os.tmpdir(), 'doc-facts-'));
const ran = path.join(stand, 'ran');
for (const tool of ['cmake', 'make', 'wine', 'wineserver', 'winepath', 'wineboot', 'xvfb-run', 'Xvfb', 'apt-get',
                    'dpkg', 'npm', 'npx', 'perf', 'chromium', 'i686-w64-mingw32-g++-posix', 'i686-w64-mingw32-nm']) {
  fs.writeFileSync(path.join(stand, tool), `#!/bin/sh\necho ${tool} >> '${ran}'\nexit 1\n`, { mode: 0o755 });
}
for (const [name, { program, file }] of commands) {
  if (!fs.existsSync(path.join(root, file))) {
    failures.push(`${measurementsPage}: \`${name}\`: no such file`);
    continue;
  }
  const environment = { ...process.env, PATH: `${stand}:${process.env.PATH}`, BUILD_DIR: path.join(stand, 'build') };
  delete environment.DISPLAY;
  delete environment.NODE_PATH;
  const run = spawnSync(program, [file, '--help'], { cwd: root, env: environment, encoding: 'utf8', timeout: 30000 });
  const reached = fs.existsSync(ran) ? fs.readFileSync(ran, 'utf8').trim().split('\n').join(', ') : '';
  if (fs.existsSync(ran)) fs.rmSync(ran);
  const usage = new RegExp(`usage:[\\s\\S]*${file.replace(/[.]/g, '\\.')}`, 'i');
  if (run.status !== 0) {
    failures.push(`${measurementsPage}: \`${name} --help\` exits ${run.status ?? run.signal}: ${(run.stderr || '').trim().split('\n').pop()}`);
  } else if (reached !== '') {
    failures.push(`${measurementsPage}: \`${name} --help\` ran ${reached}`);
  } else if (!usage.test(run.stdout)) {
    failures.push(`${measurementsPage}: \`${name} --help\` prints no "Usage: ... ${file}" line`);
  } else if (fs.existsSync(path.join(stand, 'build'))) {
    failures.push(`${measurementsPage}: \`${name} --help\` made a build folder`);
  }
}
fs.rmSync(stand, { recursive: true, force: true });

for (const line of failures) console.log(line);
if (failures.length > 0) {
  console.log(`doc facts: ${failures.length} wrong`);
  process.exit(1);
}
console.log(`doc facts: ${checkedQuotes} quoted lines of ${configPage} found in src/ (or, for the page's ` +
            `own words, in report/src/); ` +
            `${commands.size} commands named in ${measurementsPage} answer --help: ${[...commands.keys()].join(', ')}`);
