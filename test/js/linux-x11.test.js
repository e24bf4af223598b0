'use strict';
// The product's Linux backend against an X server and a sound server started here
// (scripts/x-desktop.js), judged by xrandr and independently decoded PNGs.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { Desktop, available } = require('../../scripts/x-desktop');
const { decodePng } = require('./helpers/png');
const { root, runNodeAsync, lastJson } = require('./helpers/child');

const skip = process.platform !== 'linux' ? 'Linux only'
  : !available('xsetroot', 'xrandr', 'xprop') ? 'Xvfb and the X clients are not installed' : false;

// Hiding a library needs a private mount namespace.
const hideSkip = process.platform !== 'linux' ? 'Linux only' : process.getuid() !== 0 ? 'needs root'
  : spawnSync('unshare', ['-m', 'true']).status !== 0 ? 'no private mount namespace here' : false;
// Every file the dynamic loader would open for `soname`.
const libraryFiles = (soname) => [...spawnSync('ldconfig', ['-p'], { encoding: 'utf8' }).stdout
  .matchAll(new RegExp(`^\\s*${soname.replace(/\./g, '\\.')} .*=> (.+)$`, 'gm'))].map((m) => fs.realpathSync(m[1]));

const RED = '#ff0000ff', GREEN = '#00ff00ff', BLUE = '#0000ffff', ROOT = '#204080ff';
const A = { x: 20, y: 20, width: 200, height: 160 };    // red, below B
const B = { x: 120, y: 80, width: 200, height: 160 };   // green, over part of A
const C = { x: 400, y: 300, width: 100, height: 100 };  // blue, in front, too small for bounds
const inside = (r, x, y) => x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;

// Every pixel of `image` where `other` differs, as a predicate check.
function differences(image, other) {
  const out = [];
  for (let y = 0; y < image.height; y++)
    for (let x = 0; x < image.width; x++) if (image.at(x, y) !== other.at(x, y)) out.push([x, y]);
  return out;
}

test('the Linux backend on a real X server', { skip }, async (t) => {
  const desktop = new Desktop();
  t.after(() => desktop.stop());
  await desktop.startX(640, 480);
  process.env.DISPLAY = desktop.display;
  // A Wayland session of the machine running the tests would refuse display captures.
  delete process.env.WAYLAND_DISPLAY;
  delete process.env.XDG_SESSION_TYPE;
  const d = require(path.join(root, 'index.js'));
  // The first call connects (and redirects windows into their own pixmaps)
  // before any window exists.
  const displays = await d.getDisplays();
  desktop.x('xsetroot', '-solid', '#204080');
  const a = await desktop.openWindow('red', '#ff0000', A);
  const b = await desktop.openWindow('green', '#00ff00', B);
  await desktop.openWindow('blue', '#0000ff', C);

  await t.test('getDisplays answers what xrandr reports', () => {
    const outputs = [...desktop.x('xrandr').matchAll(/^(\S+) connected (primary )?(\d+)x(\d+)\+(\d+)\+(\d+)/gm)];
    assert.ok(outputs.length > 0);
    assert.deepEqual(displays.map(({ name, x, y, width, height, scaleFactor }) => ({ name, x, y, width, height, scaleFactor })),
      outputs.map((m) => ({ name: m[1], x: +m[5], y: +m[6], width: +m[3], height: +m[4], scaleFactor: 1 })));
    assert.equal(displays.filter((s) => s.isPrimary).length, 1);
  });

  const id = displays[0].id;
  const shot = async (options) => decodePng((await d.captureDisplay({ displayId: id, ...options })).buffer);
  const full = await shot({});

  await t.test('a display capture shows the windows in stacking order over the root', () => {
    assert.deepEqual([full.width, full.height], [640, 480]);
    assert.deepEqual([full.at(30, 30), full.at(150, 100), full.at(300, 220), full.at(450, 350), full.at(600, 20)],
      [RED, GREEN, GREEN, BLUE, ROOT]);
  });

  await t.test('leaving a window out changes exactly its pixels, uncovering what lies below', async () => {
    const withoutB = await shot({ excludeWindowIds: [b.id, b.id, 999999] });
    const changed = differences(withoutB, full);
    assert.ok(changed.length > 0 && changed.every(([x, y]) => inside(B, x, y)));
    assert.deepEqual([withoutB.at(150, 100), withoutB.at(300, 220)], [RED, ROOT]);
    const withoutA = await shot({ excludeWindowIds: [a.id] });
    assert.ok(differences(withoutA, full).every(([x, y]) => inside(A, x, y) && !inside(B, x, y)));
    assert.equal(withoutA.at(30, 30), ROOT);
  });

  await t.test('a crop is the same part of the display', async () => {
    const crop = await shot({ cropBounds: { x: 100, y: 60, width: 50, height: 40 } });
    assert.deepEqual([crop.width, crop.height], [50, 40]);
    assert.deepEqual(differences(crop, { at: (x, y) => full.at(x + 100, y + 60) }), []);
  });

  await t.test('a covered window is captured whole; an unknown one is not found', async () => {
    const image = decodePng((await d.captureWindow(a.id)).buffer);
    assert.deepEqual([image.width, image.height], [A.width, A.height]);
    assert.deepEqual(differences(image, { at: () => RED }), []);
    await assert.rejects(d.captureWindow(12345), { message: 'Window 12345 not found in ScreenCaptureKit' });
  });

  await t.test('in a Wayland session display captures reject as unsupported; window captures and the list work', async () => {
    // The session is read at each call: the child changes it between them.
    const sessions = lastJson(await runNodeAsync(`
      const d = require(${JSON.stringify(path.join(root, 'index.js'))});
      const sessions = [['wayland', ''], ['x11', 'wayland-0'], ['x11', '']];
      (async () => {
        const out = [];
        for (const [type, wayland] of sessions) {
          Object.assign(process.env, { XDG_SESSION_TYPE: type, WAYLAND_DISPLAY: wayland });
          const display = await d.captureDisplay({ displayId: ${id} }).then((shot) => shot.width,
            (e) => ({ code: e.code, message: e.message, unsupported: e.unsupported, own: Object.keys(e) }));
          const window = (await d.captureWindow(${a.id})).width;
          const listed = (await d.listWindows()).some((w) => w.id === ${a.id});
          out.push({ display, window, listed });
        }
        console.log(JSON.stringify(out));
      })();`, { env: { DISPLAY: desktop.display, XDG_SESSION_TYPE: 'wayland' } }));
    const refused = { code: 'GenericFailure', unsupported: 'wayland-session', own: ['code', 'unsupported'],
      message: 'Display capture is not available in a Wayland session: the X server there (XWayland) holds only X '
        + "clients' windows, not the screen the user sees" };
    const windows = { window: A.width, listed: true };
    assert.deepEqual(sessions, [{ display: refused, ...windows }, { display: refused, ...windows },
      { display: displays[0].width, ...windows }]);
  });

  await t.test('window bounds by GTK application id, WM_CLASS class and executable name', () => {
    desktop.x('xprop', '-id', String(a.id), '-f', '_GTK_APPLICATION_ID', '8u',
      '-set', '_GTK_APPLICATION_ID', 'org.example.Red');
    assert.deepEqual(d.getAppWindowBounds('org.example.Red'), A);
    // The blue window is in front but smaller than an app window.
    assert.deepEqual(d.getAppWindowBounds('XLogo'), B);
    assert.deepEqual(d.getAppWindowBounds('xlogo'), B);
    assert.equal(d.getAppWindowBounds('org.example.Absent'), null);
  });

  await t.test('microphone apps are the sound server\'s recording streams', async () => {
    await desktop.startSound();
    process.env.PULSE_SERVER = desktop.env.PULSE_SERVER;
    assert.deepEqual(await d.listMicrophoneApps(), []);
    const named = await desktop.record(['application.id=org.example.Recorder']);
    const plain = await desktop.record();
    const binary = path.basename(desktop.x('readlink', '-f', desktop.x('sh', '-c', 'command -v parec').trim()).trim());
    const apps = await d.listMicrophoneApps();
    assert.deepEqual(apps.sort((p, q) => p.pid - q.pid),
      [{ pid: named, bundleId: 'org.example.Recorder' }, { pid: plain, bundleId: binary }].sort((p, q) => p.pid - q.pid));
  });

  await t.test('without libxcb-randr the server answers as one without RandR, without libpulse as no sound server',
    { skip: hideSkip }, async () => {
      const files = ['libxcb-randr.so.0', 'libpulse.so.0'].flatMap(libraryFiles);
      assert.ok(files.length >= 2);
      const mounts = files.map((f) => `mount --bind /dev/null "${f}"`).join(' && ');
      const rootId = Number(/Window id: (0x[0-9a-f]+)/.exec(desktop.x('xwininfo', '-root'))[1]);
      const [screens, apps] = lastJson(await runNodeAsync(`
        const d = require(${JSON.stringify(path.join(root, 'index.js'))});
        (async () => console.log(JSON.stringify([await d.getDisplays(), await d.listMicrophoneApps()])))();`,
      { shell: `exec unshare -m --propagation private sh -c '${mounts} && exec "$0" -e "$1"' "$0" "$1"` }));
      assert.deepEqual(screens.map(({ id, name, x, y, width, height }) => ({ id, name, x, y, width, height })),
        [{ id: rootId, name: 'screen', x: 0, y: 0, width: 640, height: 480 }]);
      assert.equal(apps, null);
    });
});

test('without an X server or a sound server', { skip: process.platform !== 'linux' && 'Linux only' }, async () => {
  const env = { DISPLAY: ':', PULSE_SERVER: `unix:${path.join(root, 'no-such-socket')}` };
  const [displays, window, microphone] = lastJson(await runNodeAsync(`
    const d = require(${JSON.stringify(path.join(root, 'index.js'))});
    (async () => console.log(JSON.stringify([await d.getDisplays(), await d.captureWindow(1).catch((e) => e.message),
      await d.listMicrophoneApps()])))();`, { env }));
  assert.deepEqual([displays, microphone], [[], null]);
  assert.match(window, /^Failed to get shareable content: No shareable content available: Content unavailable: /);
});
