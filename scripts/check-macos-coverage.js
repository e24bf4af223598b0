#!/usr/bin/env node
// Seam coverage for scripts/check-macos.sh: every function that
// src/platform/platform.h declares without a body must be defined exactly once
// in the given backend sources. Both sides are read from clang's JSON AST
// (filtered to namespace deskcap::platform) and compared by mangled name, so
// overloads and signature drift count as missing definitions.
//
//   node scripts/check-macos-coverage.js --cxx clang++ --root DIR -- FLAG... -- SOURCE...
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

function parseArgs(argv) {
  const options = { cxx: 'clang++', root: process.cwd(), flags: [], sources: [] };
  let i = 0;
  for (; i < argv.length && argv[i] !== '--'; i += 2) {
    if (argv[i] === '--cxx') options.cxx = argv[i + 1];
    else if (argv[i] === '--root') options.root = argv[i + 1];
    else throw new Error(`unknown option ${argv[i]}`);
  }
  let rest = argv.slice(i + 1);
  const split = rest.indexOf('--');
  if (split < 0) throw new Error('expected "-- FLAGS -- SOURCES"');
  options.flags = rest.slice(0, split);
  options.sources = rest.slice(split + 1);
  return options;
}

const FUNCTION_KINDS = new Set([
  'FunctionDecl',
  'CXXMethodDecl',
  'CXXConstructorDecl',
  'CXXDestructorDecl',
]);
const TEMPLATE_KINDS = new Set(['ClassTemplateDecl', 'FunctionTemplateDecl']);

// The filtered dump is a run of top-level JSON objects, each opening with "{"
// and closing with "}" alone on a line.
function parseDump(text) {
  const values = [];
  let start = -1;
  const lines = text.split('\n');
  let offset = 0;
  for (const line of lines) {
    if (line === '{' && start < 0) start = offset;
    if (line === '}' && start >= 0) {
      values.push(JSON.parse(text.slice(start, offset + 1)));
      start = -1;
    }
    offset += line.length + 1;
  }
  return values;
}

// Calls visit(functionNode, {hasBody}) for every function outside templates.
function walk(node, visit) {
  if (!node || typeof node !== 'object') return;
  if (TEMPLATE_KINDS.has(node.kind)) return;
  if (FUNCTION_KINDS.has(node.kind) && !node.isImplicit) {
    const hasBody = (node.inner || []).some((child) => child.kind === 'CompoundStmt');
    visit(node, hasBody);
    return;
  }
  for (const child of node.inner || []) walk(child, visit);
}

function dump(cxx, language, flags, file) {
  const args = ['-x', language, ...flags, '-Xclang', '-ast-dump=json', '-Xclang',
    '-ast-dump-filter', '-Xclang', 'deskcap::platform', file];
  const result = spawnSync(cxx, args, { encoding: 'utf8', maxBuffer: 1 << 30 });
  if (result.error) throw result.error;
  if (result.status !== 0) {
    process.stderr.write(result.stderr);
    throw new Error(`clang failed on ${file}`);
  }
  return parseDump(result.stdout);
}

function main() {
  const options = parseArgs(process.argv.slice(2));
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'seam-'));
  const unit = path.join(tmp, 'seam.cc');
  fs.writeFileSync(unit, '#include "platform/platform.h"\n');

  const declared = new Map();  // mangled name -> readable name
  try {
    for (const value of dump(options.cxx, 'c++', options.flags, unit)) {
      walk(value, (node, hasBody) => {
        if (hasBody || node.explicitlyDeleted || node.explicitlyDefaulted) return;
        if (node.mangledName) declared.set(node.mangledName, node.name);
      });
    }
  } finally {
    fs.rmSync(tmp, { recursive: true, force: true });
  }
  if (declared.size === 0) throw new Error('found no declarations in platform.h');

  const definedIn = new Map();  // mangled name -> [files]
  for (const source of options.sources) {
    const language = source.endsWith('.mm') ? 'objective-c++' : 'c++';
    const rel = path.relative(options.root, source);
    for (const value of dump(options.cxx, language, options.flags, source)) {
      walk(value, (node, hasBody) => {
        if (!hasBody || !declared.has(node.mangledName)) return;
        const list = definedIn.get(node.mangledName) || [];
        if (!list.includes(rel)) list.push(rel);
        definedIn.set(node.mangledName, list);
      });
    }
  }

  const missing = [...declared].filter(([mangled]) => !definedIn.has(mangled));
  const duplicated = [...definedIn].filter(([, files]) => files.length > 1);
  for (const [mangled, name] of missing) {
    console.log(`missing   ${name}  (${mangled})`);
  }
  for (const [mangled, files] of duplicated) {
    console.log(`duplicate ${declared.get(mangled)} in ${files.join(', ')}`);
  }
  console.log(`seam coverage: ${definedIn.size} of ${declared.size} functions defined` +
    (duplicated.length ? `, ${duplicated.length} defined twice` : ''));
  process.exit(missing.length || duplicated.length ? 1 : 0);
}

try {
  main();
} catch (error) {
  console.error(`check-macos-coverage: ${error.message}`);
  process.exit(2);
}
