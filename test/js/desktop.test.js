'use strict';
// The desktop exports end to end: window bounds, notch size, microphone apps
// and the system-audio permission, over fake worlds and the scripted TCC
// libraries (one child process per world, since both are read once), and over
// the product build, where none of these facilities exists.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { runNodeAsync, lastJson } = require('./helpers/child');

const root = path.resolve(__dirname, '..', '..');

const buildDir = process.env.DESKCAP_BUILD_DIR
  ? path.resolve(root, process.env.DESKCAP_BUILD_DIR)
  : path.join(root, 'build');
const FAKE_TCC = path.join(buildDir, 'libfake_tcc.so');
const FAKE_TCC_NO_REQUEST = path.join(buildDir, 'libfake_tcc_no_request.so');

// Prelude of every child: the module, and answers or errors as JSON.
function child(moduleFile, body) {
  return `
    const d = require(${JSON.stringify(path.join(root, moduleFile))});
    const fail = (e) => ({ code: e.code, message: e.message, isError: e instanceof Error,
                           ...('permission' in e && { permission: e.permission }) });
    const sync = (fn) => { try { return { value: fn() }; } catch (e) { return fail(e); } };
    const later = (p) => p.then((value) => ({ value }), fail);
    (async () => { ${body} })().then((out) => console.log(JSON.stringify(out)));
  `;
}

async function run(body, options = {}) {
  const r = await runNodeAsync(child(options.product ? 'index.js' : 'testing.js', body), options);
  assert.equal(r.status, 0, r.stderr);
  return lastJson(r);
}

const rect = (x, y, width, height) => ({ x, y, width, height });

test('bounds, notch and microphone apps come from the desktop', async () => {
  const world = {
    desktop: {
      applications: [
        { bundleId: 'com.example.editor', pid: 501 },
        { bundleId: 'com.example.editor.helper', pid: 600 },
        { pid: 77 },
        { bundleId: 'com.example.editor', pid: 502 },
      ],
      windows: [
        { ownerPid: 501, layer: 25, bounds: rect(0, 0, 3000, 40) },
        { ownerPid: 501, bounds: rect(0, 0, 199.5, 800) },
        { ownerPid: 600, bounds: rect(1, 1, 640, 480) },
        { ownerPid: 502, layer: 0, bounds: rect(-1440, -120.5, 200, 150) },
        { ownerPid: 501, bounds: rect(0, 0, 1600, 1000) },
      ],
      screens: [
        { frame: rect(0, 0, 2560, 1440), safeAreaTop: 0 },
        { frame: rect(2560, 0, 1512, 982), safeAreaTop: 32.5,
          auxiliaryTopLeft: rect(2560, 950, 662, 32), auxiliaryTopRight: rect(3410, 950, 662.25, 32) },
      ],
      audio: {
        processes: [
          { runningInput: true, pid: 900, bundleId: 'com.example.voice' },
          { runningInput: false, pid: 901, bundleId: 'com.example.player' },
          { runningInput: true, pid: 12 },
          { runningInput: true, pid: 900, bundleId: 'com.example.voice' },
          { runningInput: true, pid: 13, pidStatus: 560947818, bundleId: 'com.example.nopid' },
          { runningInput: true, pid: 5, bundleId: 'com.example.a' },
        ],
      },
    },
  };
  const out = await run(`
    const bounds = d.getAppWindowBounds('com.example.editor');
    return {
      bounds, keys: Object.keys(bounds),
      helper: d.getAppWindowBounds('com.example.editor.helper.sub'),
      reverse: d.getAppWindowBounds('com.example'),
      empty: d.getAppWindowBounds(''),
      notch: d.getNotchSize(), notchKeys: Object.keys(d.getNotchSize()),
      apps: await d.listMicrophoneApps(),
    };`, { world });
  assert.deepEqual(out.bounds, rect(-1440, -120.5, 200, 150));
  assert.deepEqual(out.keys, ['x', 'y', 'width', 'height']);
  assert.deepEqual(out.helper, rect(1, 1, 640, 480));
  assert.equal(out.reverse, null);
  assert.equal(out.empty, null);
  assert.deepEqual(out.notch, { width: 187.75, height: 32.5 });
  assert.deepEqual(out.notchKeys, ['width', 'height']);
  assert.deepEqual(out.apps, [
    { pid: 900, bundleId: 'com.example.voice' },
    { pid: 12, bundleId: '' },
    { pid: 900, bundleId: 'com.example.voice' },
    { pid: 5, bundleId: 'com.example.a' },
  ]);
});

test('the window list: front to back, owners, withheld titles, displays; its ids capture', async () => {
  const world = {
    screen: {
      displays: [{ id: 1, main: true, bounds: rect(0, 0, 800, 600) }, { id: 2, bounds: rect(800, 0, 800, 600) }],
      windows: [{ id: 31, pid: 501, frame: rect(10, 10, 300, 200) }],
    },
    desktop: {
      applications: [
        { bundleId: 'com.example.editor', pid: 501 },
        { pid: 77 },
        { bundleId: 'com.example.dock', pid: 77 },
        // Launched after AppKit last updated its list.
        { bundleId: 'com.example.late', pid: 9, pending: true },
      ],
      windows: [
        { number: 31, ownerPid: 501, ownerName: 'Editor', name: 'Notes', layer: 0, bounds: rect(10, 10, 300, 200) },
        { number: 40, ownerPid: 77, ownerName: 'Dock', layer: 25, bounds: rect(700, 0, 200, 40) },
        { number: 41, ownerPid: 9, ownerName: 'Late', name: '', bounds: rect(-500.5, 0, 300, 200) },
        { number: 42, bounds: rect(0, 0, 300, 200) },
        { number: 43, ownerPid: 501, bounds: 'unreadable' },
      ],
    },
  };
  // A Worker's thread cannot turn the main run loop, so it sees the list as it was.
  const out = await run(`
    const { Worker } = require('worker_threads');
    const fromWorker = await new Promise((resolve, reject) => {
      const w = new Worker(\`
        const { parentPort } = require('worker_threads');
        parentPort.postMessage(require(\${JSON.stringify(require.resolve('./testing.js'))})
          .getAppWindowBounds('com.example.late'));\`, { eval: true });
      w.once('message', resolve);
      w.once('error', reject);
    });
    const list = await d.listWindows();
    const shot = await d.captureWindow(list[0].id);
    return { fromWorker, list, keys: Object.keys(list[0]), late: d.getAppWindowBounds('com.example.late'),
             shot: [shot.width, shot.height] };`, { world });
  const listed = (id, pid, appId, appName, title, [x, y, width, height], layer, displayId) =>
    ({ id, pid, appId, appName, title, x, y, width, height, layer, displayId });
  assert.deepEqual(out.list, [
    listed(31, 501, 'com.example.editor', 'Editor', 'Notes', [10, 10, 300, 200], 0, 1),
    listed(40, 77, null, 'Dock', null, [700, 0, 200, 40], 25, 2),
    listed(41, 9, 'com.example.late', 'Late', '', [-500.5, 0, 300, 200], 0, null),
  ]);
  assert.deepEqual(out.keys, ['id', 'pid', 'appId', 'appName', 'title', 'x', 'y', 'width', 'height', 'layer', 'displayId']);
  assert.deepEqual(out.shot, [300, 200]);
  assert.equal(out.fromWorker, null);
  assert.deepEqual(out.late, rect(-500.5, 0, 300, 200));
});

test('Screen Recording: the check, the request, and the permission on refused captures only', async () => {
  const body = `return {
    word: d.getScreenCaptureAccess(),
    granted: await d.requestScreenCaptureAccess(),
    display: await later(d.captureDisplay({ displayId: 1 })),
    window: await later(d.captureWindow(5)),
  };`;
  const screen = { displays: [{ id: 1, main: true }], windows: [{ id: 5, frame: rect(0, 0, 50, 50) }] };
  const [granted, denied, unknown] = await Promise.all([
    run(body, { world: { screen: { ...screen, screenshot: { error: 'boom' } } } }),
    run(body, { world: { screen: { ...screen, permission: 'denied', permissionRequest: true } } }),
    run(body, { world: { screen: { ...screen, permission: 'unknown', content: { error: 'gone' } } } }),
  ]);
  const declined = 'Failed to get shareable content: No shareable content available: Content unavailable: '
    + 'The user declined TCCs for application, window, display capture';
  const refused = { code: 'GenericFailure', message: declined, isError: true, permission: 'screen-recording' };
  assert.deepEqual(denied, { word: 'denied', granted: true, display: refused, window: refused });
  assert.deepEqual(granted, {
    word: 'granted', granted: true,
    display: { code: 'GenericFailure', message: 'Screenshot capture failed: Screenshot capture failed: Screenshot error: boom', isError: true },
    window: { code: 'GenericFailure', message: 'Window screenshot capture failed: Screenshot capture failed: Screenshot error: boom', isError: true },
  });
  const gone = { code: 'GenericFailure', isError: true,
    message: 'Failed to get shareable content: No shareable content available: Content unavailable: gone' };
  assert.deepEqual(unknown, { word: 'unknown', granted: false, display: gone, window: gone });
});

test('nothing to report is null, and an empty microphone list is []', async () => {
  const [none, noList, unreadable] = await Promise.all([
    run(`return { bounds: d.getAppWindowBounds('com.example.editor'), notch: d.getNotchSize(),
                  apps: await d.listMicrophoneApps() };`, {
      world: { desktop: {
        applications: [{ bundleId: 'com.example.editor', pid: 501 }],
        windowListAvailable: false,
        screens: [{ frame: rect(0, 0, 1512, 982), safeAreaTop: 32,
          auxiliaryTopLeft: rect(0, 0, 756, 32), auxiliaryTopRight: rect(756, 0, 756, 32) }],
        audio: { processes: [{ runningInput: false, pid: 3 }] },
      } },
    }),
    run(`return { apps: await d.listMicrophoneApps() };`,
      { world: { desktop: { audio: { processObjectList: false } } } }),
    run(`return { apps: await d.listMicrophoneApps() };`,
      { world: { desktop: { audio: { listReadStatus: 1, processes: [{ runningInput: true, pid: 3 }] } } } }),
  ]);
  assert.deepEqual(none, { bounds: null, notch: null, apps: [] });
  assert.deepEqual(noList, { apps: null });
  assert.deepEqual(unreadable, { apps: null });
});

test('a NUL in the bundle identifier throws before the native call', async () => {
  // Were the native side asked, its malformed answer would be the error.
  const out = await run(`return { nul: sync(() => d.getAppWindowBounds('com.example\\u0000x')),
                                  asked: sync(() => d.getAppWindowBounds('com.example')) };`,
    { world: { desktop: { rawAnswers: { app_window_bounds: 'not json' } } } });
  assert.deepEqual(out.nul, { code: 'GenericFailure', message: 'Bundle ID contained a null byte', isError: true });
  assert.equal(out.asked.code, 'GenericFailure');
  assert.match(out.asked.message, /^Malformed window bounds: ./);
});

test('malformed documents fail with their prefix; odd fields are read leniently', async () => {
  const [broken, trailing, notArray, lenient, nulls] = await Promise.all([
    run(`return { bounds: sync(() => d.getAppWindowBounds('a')), notch: sync(() => d.getNotchSize()),
                  apps: await later(d.listMicrophoneApps()) };`,
      { world: { desktop: { rawAnswers: { app_window_bounds: '{"x":1,', notch_size: '{width: 3}',
        microphone_apps_json: '[{"pid":1}' } } } }),
    run(`return { bounds: sync(() => d.getAppWindowBounds('a')), notch: sync(() => d.getNotchSize()),
                  apps: await later(d.listMicrophoneApps()) };`,
      { world: { desktop: { rawAnswers: {
        app_window_bounds: '{"x":1,"y":2,"width":3,"height":4}x', notch_size: '{"width":3,"height":4} {}',
        microphone_apps_json: '[] ]' } } } }),
    run(`return { apps: await later(d.listMicrophoneApps()) };`,
      { world: { desktop: { rawAnswers: { microphone_apps_json: { pid: 5, bundleId: 'x' } } } } }),
    run(`return { bounds: d.getAppWindowBounds('a'), notch: d.getNotchSize(), apps: await d.listMicrophoneApps() };`,
      { world: { desktop: { rawAnswers: {
        app_window_bounds: '{"x":"7","y":true,"width":-3,"height":1.5e2}\n',
        notch_size: { width: 10 },
        microphone_apps_json: '[{"pid":0,"bundleId":"zero"},{"pid":4,"bundleId":5},{"pid":-1},' +
          '{"pid":2.5},{"pid":"8"},null,{"pid":4294967295,"bundleId":"max"},{"pid":7,"bundleId":"b"}]',
      } } } }),
    run(`return { bounds: d.getAppWindowBounds('a'), notch: d.getNotchSize(), apps: await d.listMicrophoneApps() };`,
      { world: { desktop: { rawAnswers: { app_window_bounds: null, notch_size: null, microphone_apps_json: null } } } }),
  ]);
  for (const out of [broken, trailing]) {
    assert.equal(out.bounds.code, 'GenericFailure');
    assert.match(out.bounds.message, /^Malformed window bounds: .*\d/);
    assert.equal(out.notch.code, 'GenericFailure');
    assert.match(out.notch.message, /^Malformed notch size: .*\d/);
    assert.equal(out.apps.code, 'GenericFailure');
    assert.equal(out.apps.isError, true);
    assert.match(out.apps.message, /^Malformed microphone app list: .*\d/);
  }
  assert.deepEqual(notArray.apps, { code: 'GenericFailure', message: 'Microphone app list was not an array', isError: true });
  assert.deepEqual(lenient, {
    bounds: { x: 0, y: 0, width: -3, height: 150 },
    notch: null,
    apps: [{ pid: 4, bundleId: '' }, { pid: 4294967295, bundleId: 'max' }, { pid: 7, bundleId: 'b' }],
  });
  assert.deepEqual(nulls, { bounds: null, notch: null, apps: null });
});

const PERMISSION = `
  const word = d.getSystemAudioAccess();
  const answers = await Promise.all(Array.from({ length: COUNT }, () => d.requestSystemAudioAccess()));
  return { word, answers };`;

function permission({ library, count = 1, env = {} }) {
  return run(PERMISSION.replace('COUNT', String(count)), { world: { tcc: { library } }, env });
}

test('the permission word follows the preflight code', async () => {
  const codes = { 0: 'granted', 1: 'denied', 2: 'not-determined', 3: 'unknown', '-2': 'unknown' };
  const outs = await Promise.all(Object.keys(codes).map((code) =>
    permission({ library: FAKE_TCC, count: 0, env: { FAKE_TCC_PREFLIGHT: code } })));
  assert.deepEqual(outs.map((o) => o.word), Object.values(codes));
});

test('a request resolves with what the completion reported, early or late', async () => {
  const cases = [
    [{ FAKE_TCC_MODE: 'sync', FAKE_TCC_GRANT: '1' }, true],
    [{ FAKE_TCC_MODE: 'sync', FAKE_TCC_GRANT: '0' }, false],
    [{ FAKE_TCC_MODE: 'thread', FAKE_TCC_GRANT: '1', FAKE_TCC_DELAY_MS: '150' }, true],
    [{ FAKE_TCC_MODE: 'thread', FAKE_TCC_GRANT: '0', FAKE_TCC_DELAY_MS: '50' }, false],
  ];
  const outs = await Promise.all(cases.map(([env]) => permission({ library: FAKE_TCC, env })));
  outs.forEach((out, i) => assert.deepEqual(out.answers, [cases[i][1]], JSON.stringify(cases[i][0])));
});

test('concurrent requests each settle, without holding up the JavaScript thread', async () => {
  const out = await run(`
    const start = Date.now();
    let ticks = 0;
    const timer = setInterval(() => ticks++, 20);
    const answers = await Promise.all(Array.from({ length: 6 }, () => d.requestSystemAudioAccess()));
    clearInterval(timer);
    return { answers, elapsed: Date.now() - start, ticks, word: d.getSystemAudioAccess() };`,
  { world: { tcc: { library: FAKE_TCC } },
    env: { FAKE_TCC_MODE: 'thread', FAKE_TCC_DELAY_MS: '500', FAKE_TCC_PREFLIGHT: '0' } });
  assert.deepEqual(out.answers, [true, true, true, true, true, true]);
  assert.ok(out.elapsed >= 490, `settled after ${out.elapsed} ms`);
  assert.ok(out.elapsed < 2500, `requests ran one after another: ${out.elapsed} ms`);
  assert.ok(out.ticks >= 5, `the event loop stalled: ${out.ticks} ticks`);
  assert.equal(out.word, 'granted');
});

test('without TCCAccessRequest the request is null; without TCC both are unavailable', async () => {
  const [noRequest, missing] = await Promise.all([
    permission({ library: FAKE_TCC_NO_REQUEST, count: 2, env: { FAKE_TCC_PREFLIGHT: '1' } }),
    permission({ library: path.join(buildDir, 'no-such-tcc.so'), count: 1, env: { FAKE_TCC_PREFLIGHT: '0' } }),
  ]);
  assert.deepEqual(noRequest, { word: 'denied', answers: [null, null] });
  assert.deepEqual(missing, { word: 'unknown', answers: [null] });
});

test('the product build has no desktop facilities here', async () => {
  const out = await run(`
    return {
      bounds: d.getAppWindowBounds('com.apple.finder'),
      notch: d.getNotchSize(),
      apps: await d.listMicrophoneApps(),
      word: d.getSystemAudioAccess(),
      granted: await d.requestSystemAudioAccess(),
      nul: sync(() => d.getAppWindowBounds('com.apple\\u0000finder')),
      windows: await d.listWindows(),
      screenWord: d.getScreenCaptureAccess(),
      screenGranted: await d.requestScreenCaptureAccess(),
    };`, { product: true });
  assert.deepEqual(out, {
    bounds: null, notch: null, apps: null, word: 'unknown', granted: null,
    windows: [], screenWord: 'unknown', screenGranted: false,
    nul: { code: 'GenericFailure', message: 'Bundle ID contained a null byte', isError: true },
  });
});
