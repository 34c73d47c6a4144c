// Fails when a relative link in README.md or docs/ points at a file that is not there or at a
// heading its page does not have, so a moved file or a renamed section cannot leave a dead link.
// Usage: node doc_links.js [PROJECT_DIR]
'use strict';
const fs = require('fs');
const path = require('path');

const root = path.resolve(process.argv[2] || path.join(__dirname, '..'));
const pages = ['README.md'].concat(
  fs.readdirSync(path.join(root, 'docs')).filter((f) => f.endsWith('.md')).map((f) => `docs/${f}`));

// The lines a reader sees as text: fenced and indented code blocks hold examples, not links.
function proseLines(file) {
  const lines = fs.readFileSync(file, 'utf8').split('\n');
  let fenced = false;
  return lines.filter((line) => {
    if (/^\s*```/.test(line)) {
      fenced = !fenced;
      return false;
    }
    return !fenced && !/^( {4}|\t)/.test(line);
  });
}

// Headings' anchors as the repository's renderer makes them: lower case, punctuation dropped,
// spaces turned into hyphens, a repeated heading numbered.
function anchorsOf(file) {
  const seen = new Map();
  const anchors = new Set();
  for (const line of proseLines(file)) {
    const heading = /^#{1,6}\s+(.*?)\s*#*\s*$/.exec(line);
    if (!heading) continue;
    const slug = heading[1].toLowerCase().replace(/[^\p{L}\p{N}\p{M}\s_-]/gu, '').replace(/\s/g, '-');
    const count = seen.get(slug) || 0;
    seen.set(slug, count + 1);
    anchors.add(count === 0 ? slug : `${slug}-${count}`);
  }
  return anchors;
}

const broken = [];
for (const page of pages) {
  const file = path.join(root, page);
  for (const line of proseLines(file)) {
    const text = line.replace(/`[^`]*`/g, '');
    for (const [, target] of text.matchAll(/\]\(([^)\s]+)(?:\s+"[^"]*")?\)/g)) {
      if (/^[a-z][a-z0-9+.-]*:/i.test(target)) continue;  // a web address: not checked here
      const [linkPath, anchor] = target.split('#');
      const destination = linkPath === '' ? file : path.resolve(path.dirname(file), linkPath);
      if (!fs.existsSync(destination)) {
        broken.push(`${page}: ${target}: no such file`);
      } else if (anchor !== undefined && (!destination.endsWith('.md') || !anchorsOf(destination).has(anchor))) {
        broken.push(`${page}: ${target}: no such heading`);
      }
    }
  }
}

for (const line of broken) console.log(line);
if (broken.length > 0) {
  console.log(`doc links: ${broken.length} broken`);
  process.exit(1);
}
console.log(`doc links: every relative link in ${pages.join(', ')} resolves`);
