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

// Synchronous: { status, signal, stdout, stderr }.
function runNode(source, options = {}) {
  const r = spawnSync(process.execPath, ['-e', source], {
    cwd: root,
    env: childEnv(options),
    encoding: 'utf8',
    timeout: options.timeout || 60000,
  });
  return { status: r.status, signal: r.signal, stdout: r.stdout, stderr: r.stderr };
}

// Asynchronous variant, so that several children can run at once.
function runNodeAsync(source, options = {}) {
  return new Promise((resolve) => {
    const child = spawn(process.execPath, ['-e', source], { cwd: root, env: childEnv(options) });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (d) => (stdout += d));
    child.stderr.on('data', (d) => (stderr += d));
    const timer = setTimeout(() => child.kill('SIGKILL'), options.timeout || 60000);
    child.on('close', (status, signal) => {
      clearTimeout(timer);
      resolve({ status, signal, stdout, stderr });
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

module.exports = { root, runNode, runNodeAsync, writeWorld, lastJson };
