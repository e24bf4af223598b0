#!/usr/bin/env node
// Holds src/ to its layering: a folder includes its own headers and those of
// the layers below it, never one above, and phone/ and desktop/ never each
// other. Run before the build, so that an upward include fails at once rather
// than after it happened to compile. Every top-level folder of src/ must have
// a place here; a new one fails until it is given one.
//
//   node tools/check-layers.js [ROOT]     ROOT holds src/ (default: the repository)
//
// Prints each offending include as FILE:LINE and exits 1 when there is one.
'use strict';
const fs = require('fs');
const path = require('path');

// Lowest first; folders in one step are peers and may not include each other.
const ORDER = [['core'], ['platform'], ['boundary'], ['screen'], ['phone', 'desktop'], ['watch'],
  ['testing'], ['addon']];
// Folders outside the order: they include nothing of the tree and nothing
// includes them. compat/ is C glue linked only into the prebuilt binaries.
const APART = ['compat'];

const SOURCE = /\.(c|cc|cpp|h|hh|hpp|m|mm)$/;
const INCLUDE = /^\s*#\s*(?:include|import)\s*"([^"]+)"/;

function allowedBelow() {
  const allowed = new Map();
  const below = [];
  for (const step of ORDER) {
    for (const folder of step) allowed.set(folder, new Set([folder, ...below]));
    below.push(...step);
  }
  for (const folder of APART) allowed.set(folder, new Set([folder]));
  return allowed;
}

function* sources(dir) {
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const full = path.join(dir, entry.name);
    if (entry.isDirectory()) yield* sources(full);
    else if (SOURCE.test(entry.name)) yield full;
  }
}

function check(root) {
  const src = path.join(root, 'src');
  const allowed = allowedBelow();
  const problems = [];
  const folders = fs.readdirSync(src, { withFileTypes: true }).filter((e) => e.isDirectory());
  for (const { name } of folders) {
    if (!allowed.has(name)) {
      problems.push(`src/${name}/: a folder with no place in the layer order`);
      continue;
    }
    for (const file of sources(path.join(src, name))) {
      const rel = path.relative(root, file).split(path.sep).join('/');
      const lines = fs.readFileSync(file, 'utf8').split('\n');
      lines.forEach((line, i) => {
        const m = INCLUDE.exec(line);
        if (!m) return;
        // Includes are written from src/; a name without a folder, or with one
        // src/ does not have, is a system or third-party header.
        const parts = path.posix.normalize(m[1]).split('/');
        if (parts[0] === '..') {
          problems.push(`${rel}:${i + 1}: "${m[1]}" is not written from src/`);
          return;
        }
        const target = parts[0];
        if (parts.length < 2 || !allowed.has(target)) return;
        if (!allowed.get(name).has(target))
          problems.push(`${rel}:${i + 1}: ${name}/ includes "${m[1]}" from ${target}/, ` +
            `not a layer below it`);
      });
    }
  }
  return problems;
}

const root = path.resolve(process.argv[2] || path.join(__dirname, '..'));
const problems = check(root);
for (const p of problems) console.log(p);
if (problems.length) {
  console.log(`check-layers: ${problems.length} problem(s) with the layer order ` +
    `(${ORDER.map((s) => s.join(', ')).join(' < ')})`);
  process.exit(1);
}
console.log('check-layers: every include keeps to the layer order');
