'use strict';
// The packed package inside minimal Debian 11 and 12 roots (what slim container
// images are built on: no X, sound-server or PNG libraries), entered with chroot
// in a private mount namespace: the testing addon captures a scripted desktop;
// the product answers as a system without X; once the X libraries are in the
// root and a real X server's socket is bound into it, the product captures that
// server's screen. Roots are made with mmdebstrap and kept between runs.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { ok, stage, answer } = require('./helpers/staged');
const { Desktop, available, has } = require('../../scripts/x-desktop');

const CACHE = process.env.DESKCAP_ROOTS_CACHE || path.join(os.homedir(), '.cache', 'deskcap', 'roots');
const X_LIBRARIES = ['libxcb1', 'libxcb-randr0', 'libxcb-composite0', 'libxcb-shm0', 'libxcb-res0'];
const skip = process.platform !== 'linux' || process.arch !== 'x64' ? 'Linux x64 only'
  : process.getuid() !== 0 ? 'needs root (chroot, mounts)'
    : !has('mmdebstrap') ? 'mmdebstrap is not installed'
      : spawnSync('unshare', ['--mount', 'true']).status !== 0 ? 'no private mount namespace here (a container?)'
      : !available('xsetroot') ? 'Xvfb is not installed' : false;

// A minbase root of `release` with `packages` added, made once and kept.
function debianRoot(release, packages) {
  const dir = path.join(CACHE, [release, ...packages].join('+'));
  if (fs.existsSync(path.join(dir, '.complete'))) return dir;
  const partial = `${dir}.partial`;
  fs.rmSync(partial, { recursive: true, force: true });
  fs.mkdirSync(CACHE, { recursive: true });
  const include = packages.length ? [`--include=${packages.join(',')}`] : [];
  ok('mmdebstrap', ['--variant=minbase', '--quiet', ...include, release, partial]);
  fs.writeFileSync(path.join(partial, '.complete'), '');
  fs.rmSync(dir, { recursive: true, force: true });
  fs.renameSync(partial, dir);
  return dir;
}

// Runs load-check.js `mode` inside `rootDir` with this Node and the staged package;
// `display` binds the host's X sockets in. The mounts end with the namespace.
const prepared = new Set();
function check(rootDir, mode, display) {
  // Node and the package once a run per root (the roots outlive the run).
  if (!prepared.has(rootDir)) {
    fs.copyFileSync(process.execPath, path.join(rootDir, 'usr', 'local', 'bin', 'node'));
    stage(path.join(rootDir, 'opt', 'app'));
    fs.mkdirSync(path.join(rootDir, 'tmp', '.X11-unix'), { recursive: true });
    prepared.add(rootDir);
  }
  const script = 'set -e; mount -t proc proc "$R/proc";' +
    ' if [ -n "$X" ]; then mount --bind /tmp/.X11-unix "$R/tmp/.X11-unix"; fi;' +
    ' exec chroot "$R" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root ${X:+DISPLAY=$X}' +
    ' DESKCAP_IOS_LOG_STDERR=0 /usr/local/bin/node /opt/app/load-check.js "$M"';
  return answer(spawnSync('unshare', ['--mount', '--propagation', 'private', 'sh', '-c', script], {
    encoding: 'utf8', timeout: 120000, env: { ...process.env, R: rootDir, M: mode, X: display || '' } }));
}

for (const [release, version] of [['bullseye', 11], ['bookworm', 12]]) {
  test(`Debian ${version} (${release}), minimal and with the X libraries`, { skip, timeout: 900000 }, async (t) => {
    const bare = debianRoot(release, []);
    const lib = path.join(bare, 'usr', 'lib', 'x86_64-linux-gnu');
    assert.deepEqual(['libxcb.so.1', 'libpng16.so.16', 'libpulse.so.0'].filter((f) => fs.existsSync(path.join(lib, f))), []);

    await t.test('the testing addon captures a scripted desktop', () => {
      assert.deepEqual(check(bare, 'testing'),
        { arch: 'x64', width: 128, height: 96, window: '#e0c040ff', desktop: '#102030ff' });
    });

    await t.test('the product loads and answers as a system without X or a sound server', () => {
      const a = check(bare, 'product');
      assert.deepEqual([a.displays, a.windows.value, a.microphoneApps.value, a.screenCapture], [[], [], null, 'unknown']);
      assert.equal(a.capture.code, 'GenericFailure');
      assert.match(a.capture.message, /^Failed to get shareable content: .*libxcb\.so\.1 is not installed$/);
    });

    await t.test('with the X libraries and a real X server, the product captures its screen', async (tt) => {
      const withX = debianRoot(release, X_LIBRARIES);
      const desktop = new Desktop();
      tt.after(() => desktop.stop());
      await desktop.startX(320, 240);
      desktop.x('xsetroot', '-solid', '#336699');
      const a = check(withX, 'product', desktop.display);
      assert.deepEqual(a.displays.map((d) => [d.x, d.y, d.width, d.height]), [[0, 0, 320, 240]]);
      assert.equal(a.screenCapture, 'granted');
      assert.deepEqual(a.capture, { width: 320, height: 240, corner: '#336699ff' });
    });
  });
}
