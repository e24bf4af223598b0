'use strict';
// Runs a snippet of JavaScript in a fresh Node process (the fake world and the
// pool are per process) and collects what it printed and how it ended.
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '..', '..', '..');

// Leak checks mean something only for processes that end on their own: an abrupt end skips
// the teardown (V8's blocks read as leaks), a Worker torn down mid-call leaks Node's deferred.
function childEnv({ world, env, abruptEnd } = {}) {
  const e = { ...process.env, ...env };
  if (abruptEnd && e.ASAN_OPTIONS !== undefined) e.ASAN_OPTIONS += ':detect_leaks=0';
  if (world !== undefined) {
    e.DESKCAP_FAKE_WORLD = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-world-')), 'world.json');
    fs.writeFileSync(e.DESKCAP_FAKE_WORLD, JSON.stringify(world));
  }
  return e;
}

// A sanitizer report printed while exit() runs may be cut short and leave the
// status at 0, so the text decides, not the status.
const REPORT = /^.*(?:ERROR: (?:Address|Leak|Thread|Memory)Sanitizer|WARNING: ThreadSanitizer|: runtime error: ).*$/m;

// { status, signal, stdout, stderr }, or a rejection for a sanitizer report whatever the
// status. `options.shell` is run by `sh -c` before node (for `ulimit`).
function runNodeAsync(source, options = {}) {
  return new Promise((resolve, reject) => {
    const child = options.shell
      ? spawn('sh', ['-c', `${options.shell}; exec "$0" -e "$1"`, process.execPath, source],
        { cwd: root, env: childEnv(options) })
      : spawn(process.execPath, ['-e', source], { cwd: root, env: childEnv(options) });
    let [stdout, stderr] = ['', ''];
    child.stdout.on('data', (d) => (stdout += d));
    child.stderr.on('data', (d) => (stderr += d));
    const timer = setTimeout(() => child.kill('SIGKILL'), options.timeout || 60000);
    child.on('close', (status, signal) => {
      clearTimeout(timer);
      const report = REPORT.exec(stderr);
      if (report) reject(new Error(`child printed a sanitizer report (status ${status}): ${report[0]}\n${stderr}`));
      else resolve({ status, signal, stdout, stderr });
    });
  });
}

// The JSON printed on the child's last stdout line.
function lastJson(result) {
  try { return JSON.parse(result.stdout.trim().split('\n').at(-1)); } catch {
    throw new Error(`child printed no JSON (status ${result.status}):\n${result.stdout}\n${result.stderr}`);
  }
}

// Runs a child to its end whatever happens. `failure` is null, or what went
// wrong: a spawn error or sanitizer report, a signal, another status.
async function childOutcome(source, options, status = 0) {
  try {
    const r = await runNodeAsync(source, options);
    if (r.signal === null && r.status === status) return { ...r, failure: null };
    const tail = r.stderr.split('\n').filter((l) => !l.startsWith('KR_IOS')).slice(-8).join('\n');
    return { ...r, failure: `status ${r.status}, signal ${r.signal} (wanted ${status}): ${tail}` };
  } catch (e) {
    return { failure: e.message.split('\n')[0] };
  }
}

module.exports = { root, runNodeAsync, lastJson, childOutcome };
