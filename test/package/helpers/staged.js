'use strict';
// The package as users get it, laid out in a folder that another system can
// run: `npm run prebuild`, `npm pack`, the tarball unpacked into
// node_modules/deskcap beside its one run-time dependency, and the checks
// that run there (load-check.js, with the independent PNG reader).
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '..', '..', '..');

function ok(cmd, args, options = {}) {
  const r = spawnSync(cmd, args, { cwd: root, encoding: 'utf8', timeout: 1800000, ...options });
  if (r.status !== 0) throw new Error(`${cmd} ${args.join(' ')} failed (${r.status}):\n${r.stdout}${r.stderr}`);
  return r;
}

let pack = null;
// Builds the prebuilt binaries (make makes nothing when they are current) and packs them, once a process:
// the tarball's path and the files it holds.
function packed() {
  if (pack) return pack;
  ok(process.execPath, ['scripts/build.js', '--prebuild']);
  const out = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-staged-'));
  process.on('exit', () => fs.rmSync(out, { recursive: true, force: true }));
  const [pkg] = JSON.parse(ok('npm', ['pack', '--json', '--ignore-scripts', '--pack-destination', out]).stdout);
  pack = { tarball: path.join(out, pkg.filename), files: pkg.files.map((f) => f.path) };
  return pack;
}

// `dir` afresh: the unpacked package, node-gyp-build, and the checks.
function stage(dir) {
  fs.rmSync(dir, { recursive: true, force: true });
  const modules = path.join(dir, 'node_modules');
  fs.mkdirSync(modules, { recursive: true });
  ok('tar', ['xzf', packed().tarball, '-C', modules]);
  fs.renameSync(path.join(modules, 'package'), path.join(modules, 'deskcap'));
  fs.cpSync(path.join(root, 'node_modules', 'node-gyp-build'), path.join(modules, 'node-gyp-build'), { recursive: true });
  fs.copyFileSync(path.join(__dirname, 'load-check.js'), path.join(dir, 'load-check.js'));
  fs.copyFileSync(path.join(root, 'test', 'js', 'helpers', 'png.js'), path.join(dir, 'png.js'));
  return dir;
}

// The one JSON line a check printed.
function answer(r) {
  if (r.status !== 0) throw new Error(`the check failed (${r.status}):\n${r.stdout}${r.stderr}`);
  return JSON.parse(r.stdout.trim().split('\n').pop());
}

module.exports = { root, ok, packed, stage, answer };
