#!/usr/bin/env node
// The glibc floor of the Linux binaries: they must load on every glibc from
// FLOOR on (2.28, Node's own), whatever glibc builds them.
//
//   node tools/glibc-floor.js stubs --cc CC --floor 2.28 --out DIR
//       Writes link-time stand-ins for the C library into DIR: libc.so.6,
//       libm.so.6 and the dynamic loader holding only the symbols and
//       versions that glibc FLOOR has (taken from the toolchain's own
//       libraries), and empty libpthread.so.0 / libdl.so.2 / librt.so.1. A
//       link with -L DIR binds each call to the newest version the floor
//       knows; a symbol that is newer stays undefined, and `check` refuses it.
//   node tools/glibc-floor.js check --floor 2.28 [--remove on-fault] FILE...
//       Fails (exit 1, one line per fault) when a binary needs a library
//       beyond the C library and zlib, a glibc version above FLOOR, the C++
//       runtime's or libgcc's versions, or leaves a symbol undefined without
//       a version (other than Node-API's, which the host provides).
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const ALLOWED_NEEDED = new Set(['libc.so.6', 'libm.so.6', 'libdl.so.2', 'libpthread.so.0', 'librt.so.1',
  'libz.so.1', 'ld-linux-x86-64.so.2', 'ld-linux-aarch64.so.1']);
// Node-API comes from the host; zlib's symbols carry no versions on Debian.
const UNVERSIONED = /^(napi_|node_api_|deflate|inflate|crc32|adler32|zError|zlibVersion)/;

function args(argv) {
  const out = { files: [] };
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i].startsWith('--')) out[argv[i].slice(2)] = argv[++i];
    else out.files.push(argv[i]);
  }
  return out;
}

// "2.2.5" < "2.17" < "2.28"
function compareVersions(a, b) {
  const x = a.split('.').map(Number);
  const y = b.split('.').map(Number);
  for (let i = 0; i < Math.max(x.length, y.length); ++i) {
    const d = (x[i] || 0) - (y[i] || 0);
    if (d !== 0) return d;
  }
  return 0;
}

function glibcVersion(tag) {
  const m = /^GLIBC_(\d+(?:\.\d+)+)$/.exec(tag);
  return m ? m[1] : null;
}

function readelf(readelfPath, flags, file) {
  return execFileSync(readelfPath, ['-W', ...flags, file], { encoding: 'utf8', maxBuffer: 64 << 20 });
}

// The dynamic symbols of `file`: { name, version, defined, weak, type, size }.
function dynamicSymbols(readelfPath, file) {
  const symbols = [];
  for (const line of readelf(readelfPath, ['--dyn-syms'], file).split('\n')) {
    const f = line.trim().split(/\s+/);
    if (f.length < 8 || !/^\d+:$/.test(f[0])) continue;
    const [, , size, type, bind, , ndx, full] = f;
    if (!full) continue;
    const at = full.indexOf('@');
    symbols.push({
      name: at < 0 ? full : full.slice(0, at),
      version: at < 0 ? null : full.slice(at).replace(/^@+/, ''),
      isDefault: full.includes('@@'),
      defined: ndx !== 'UND',
      weak: bind === 'WEAK',
      type,
      size: Number(size.startsWith('0x') ? parseInt(size, 16) : size),
    });
  }
  return symbols;
}

function needed(readelfPath, file) {
  return [...readelf(readelfPath, ['-d'], file).matchAll(/\(NEEDED\)\s+Shared library: \[([^\]]+)\]/g)]
    .map((m) => m[1]);
}

// The toolchain's libc.so linker script names libc.so.6, libc_nonshared.a and the loader.
function toolchainLibraries(cc) {
  const script = execFileSync(cc, ['-print-file-name=libc.so'], { encoding: 'utf8' }).trim();
  const text = fs.readFileSync(script, 'utf8');
  const group = /GROUP\s*\(([^)]*AS_NEEDED\s*\([^)]*\))?[^)]*\)/.exec(text);
  if (!group) throw new Error(`${script}: no GROUP in the C library's linker script`);
  const paths = group[0].match(/\/[^\s()]+/g);
  const find = (re) => {
    const p = paths.find((x) => re.test(path.basename(x)));
    if (!p) throw new Error(`${script}: no ${re} in its GROUP`);
    return path.resolve(path.dirname(script), p);
  };
  const libm = execFileSync(cc, ['-print-file-name=libm.so.6'], { encoding: 'utf8' }).trim();
  return { libc: find(/^libc\.so\.6$/), nonshared: find(/^libc_nonshared\.a$/), loader: find(/^ld-linux/), libm };
}

// One stand-in library: each symbol at the newest version not above the floor.
function writeStub({ cc, readelfPath, floor, source, soname, out }) {
  const best = new Map();
  const versions = new Set();
  for (const s of dynamicSymbols(readelfPath, source)) {
    const v = s.version && glibcVersion(s.version);
    if (!s.defined || !v || compareVersions(v, floor) > 0 || s.type === 'TLS') continue;
    if (s.name === s.version) continue;  // the version's own marker
    versions.add(s.version);
    const old = best.get(s.name);
    if (!old || compareVersions(v, glibcVersion(old.version)) > 0) best.set(s.name, s);
  }
  const lines = [];
  let n = 0;
  for (const s of [...best.values()].sort((a, b) => a.name.localeCompare(b.name))) {
    const local = `__dc_floor_${n++}`;
    if (s.type === 'OBJECT') {
      const size = Math.max(s.size, 1);
      lines.push('.data', `.globl ${local}`, `.type ${local},%object`, `.size ${local},${size}`,
        `${local}: .zero ${size}`);
    } else {
      lines.push('.text', `.globl ${local}`, `.type ${local},%function`, `${local}:`);
    }
    lines.push(`.symver ${local}, ${s.name}@@${s.version}`);
  }
  const ordered = [...versions].sort((a, b) => compareVersions(glibcVersion(a), glibcVersion(b)));
  const map = ordered.map((v, i) => (i === 0 ? `${v} { local: __dc_floor_*; };` : `${v} { } ${ordered[i - 1]};`));
  const base = path.join(out, soname);
  fs.writeFileSync(`${base}.s`, `${lines.join('\n')}\n`);
  fs.writeFileSync(`${base}.map`, `${map.join('\n')}\n`);
  execFileSync(cc, ['-shared', '-nostdlib', `-Wl,-soname,${soname}`, `-Wl,--version-script,${base}.map`,
    '-o', path.join(out, soname), `${base}.s`]);
  return best.size;
}

function stubs(opts) {
  const { cc, floor, out } = opts;
  const readelfPath = opts.readelf || 'readelf';
  fs.mkdirSync(out, { recursive: true });
  const libs = toolchainLibraries(cc);
  const loader = path.basename(libs.loader);
  const counts = {
    'libc.so.6': writeStub({ cc, readelfPath, floor, source: libs.libc, soname: 'libc.so.6', out }),
    'libm.so.6': writeStub({ cc, readelfPath, floor, source: libs.libm, soname: 'libm.so.6', out }),
    [loader]: writeStub({ cc, readelfPath, floor, source: libs.loader, soname: loader, out }),
  };
  // Before glibc 2.34 threads, dlopen and clocks lived in these; an old
  // system loads them only when the binary asks.
  for (const soname of ['libpthread.so.0', 'libdl.so.2', 'librt.so.1']) {
    const empty = path.join(out, `${soname}.s`);
    fs.writeFileSync(empty, '');
    execFileSync(cc, ['-shared', '-nostdlib', `-Wl,-soname,${soname}`, '-o', path.join(out, soname), empty]);
    fs.copyFileSync(path.join(out, soname), path.join(out, `${soname.split('.so')[0]}.so`));
  }
  fs.writeFileSync(path.join(out, 'libc.so'),
    `GROUP ( ${path.join(out, 'libc.so.6')} ${libs.nonshared} AS_NEEDED ( ${path.join(out, loader)} ) )\n`);
  fs.copyFileSync(path.join(out, 'libm.so.6'), path.join(out, 'libm.so'));
  process.stdout.write(`glibc ${floor} stand-ins in ${out}: ` +
    `${Object.entries(counts).map(([k, v]) => `${k} ${v} symbols`).join(', ')}\n`);
}

// Every fault of one binary, as lines.
function faults(readelfPath, file, floor) {
  const found = [];
  for (const lib of needed(readelfPath, file)) {
    if (!ALLOWED_NEEDED.has(lib)) found.push(`needs ${lib}`);
  }
  for (const s of dynamicSymbols(readelfPath, file)) {
    if (s.defined) continue;
    const { version } = s;
    if (!version) {
      if (!s.weak && !UNVERSIONED.test(s.name) && s.name) found.push(`${s.name} has no version`);
      continue;
    }
    const v = glibcVersion(version);
    if (v ? compareVersions(v, floor) > 0 : !/^ZLIB_/.test(version)) found.push(`${s.name}@${version}`);
  }
  return found;
}

function check(opts) {
  const readelfPath = opts.readelf || 'readelf';
  let bad = 0;
  for (const file of opts.files) {
    const found = faults(readelfPath, file, opts.floor);
    for (const fault of found) process.stderr.write(`${file}: above the glibc ${opts.floor} floor: ${fault}\n`);
    // Removed, so that nothing ships it and the next build links it again.
    if (found.length > 0 && opts.remove !== undefined) fs.rmSync(file, { force: true });
    bad += found.length;
  }
  process.exit(bad === 0 ? 0 : 1);
}

module.exports = { dynamicSymbols, needed, compareVersions, glibcVersion, faults };

if (require.main === module) {
  const [command, ...rest] = process.argv.slice(2);
  const opts = args(rest);
  if (command === 'stubs') stubs(opts);
  else if (command === 'check') check(opts);
  else {
    process.stderr.write('usage: glibc-floor.js stubs --cc CC --floor V --out DIR | check --floor V FILE...\n');
    process.exit(2);
  }
}
