'use strict';
// Runs a snippet of JavaScript in a fresh Node process (the fake world and the
// pool are per process) and collects what it printed and how it ended.
const { spawnSync, spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '..', '..', '..');

function writeWorld(world) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-world-')), 'world.json');
  fs.writeFileSync(file, JSON.stringify(world));
  return file;
}

// Under the sanitizers, a process that ends through process.exit() or an
// uncaught exception skips the teardown, so V8's own blocks read as leaks, and
// a Worker torn down mid-call leaks the deferred inside Node: leak checks are
// only meaningful for processes that end on their own.
function childEnv({ world, env, abruptEnd } = {}) {
  const e = { ...process.env, ...env };
  if (abruptEnd && e.ASAN_OPTIONS !== undefined) e.ASAN_OPTIONS += ':detect_leaks=0';
  if (world !== undefined) e.DESKCAP_FAKE_WORLD = writeWorld(world);
  return e;
}

// The first line of a sanitizer report in a child's stderr, or null. A report
// printed while exit() runs may be cut short and leave the status at 0, so the
// text decides, not the status.
const REPORT = /^.*(?:ERROR: (?:Address|Leak|Thread|Memory)Sanitizer|WARNING: ThreadSanitizer|: runtime error: ).*$/m;
function sanitizerReport(stderr) {
  const m = REPORT.exec(stderr || '');
  return m ? m[0] : null;
}

function checked(result) {
  const report = sanitizerReport(result.stderr);
  if (report) throw new Error(`child printed a sanitizer report (status ${result.status}): ${report}\n${result.stderr}`);
  return result;
}

// Synchronous: { status, signal, stdout, stderr }. Throws when the child printed
// a sanitizer report, whatever its status.
function runNode(source, options = {}) {
  const r = spawnSync(process.execPath, ['-e', source], {
    cwd: root,
    env: childEnv(options),
    encoding: 'utf8',
    timeout: options.timeout || 60000,
  });
  return checked({ status: r.status, signal: r.signal, stdout: r.stdout, stderr: r.stderr });
}

// Asynchronous variant, so that several children can run at once; rejects on a
// sanitizer report. `options.shell` runs node through `sh -c` with that text
// before it (for `ulimit`).
function runNodeAsync(source, options = {}) {
  return new Promise((resolve, reject) => {
    const child = options.shell
      ? spawn('sh', ['-c', `${options.shell}; exec "$0" -e "$1"`, process.execPath, source],
        { cwd: root, env: childEnv(options) })
      : spawn(process.execPath, ['-e', source], { cwd: root, env: childEnv(options) });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (d) => (stdout += d));
    child.stderr.on('data', (d) => (stderr += d));
    const timer = setTimeout(() => child.kill('SIGKILL'), options.timeout || 60000);
    child.on('close', (status, signal) => {
      clearTimeout(timer);
      try {
        resolve(checked({ status, signal, stdout, stderr }));
      } catch (e) {
        reject(e);
      }
    });
  });
}

// The JSON printed on the child's last stdout line.
function lastJson(result) {
  const lines = result.stdout.trim().split('\n');
  try {
    return JSON.parse(lines[lines.length - 1]);
  } catch (e) {
    throw new Error(`child printed no JSON (status ${result.status}):\n${result.stdout}\n${result.stderr}`);
  }
}

module.exports = { root, runNode, runNodeAsync, writeWorld, lastJson, sanitizerReport };
