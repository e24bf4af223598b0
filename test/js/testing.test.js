'use strict';
// deskcap/testing's own surface: setWorld, probe, and byte-form scripted answers.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { runNodeAsync } = require('./helpers/child');
const { d, root, later, sync, assertSettled, rect } = require('./helpers/world');

const ID = '00008110-001E30D02E38802E';
const phone = (extra = {}) => ({ uniqueId: ID, name: 'iPhone', modelId: 'iPhone15,2', width: 30, height: 20, ...extra });

test('a new world starts the process afresh: enable flag, device watch, log and counters', async () => {
  const world = { phone: { devices: [phone()] } };
  d.setWorld(world);
  await d.prewarmIosCapture();
  const first = await d.takeIosLog();
  await d.listIosDevices();  // leaves lines in the log
  assert.equal(d.probe().propertyWrites, 1);

  d.setWorld(world);
  assert.deepEqual(await d.takeIosLog(), [], 'the previous world\'s log is dropped');
  assert.equal(d.probe().propertyWrites, 0);
  await d.prewarmIosCapture();
  assert.deepEqual(await d.takeIosLog(), first, 'enabled and watching again, as in a fresh process');
  assert.equal(d.probe().propertyWrites, 1);
});

test('setWorld refuses while a call of the previous world runs, and works once it settled', async () => {
  d.setWorld({ screen: { displays: [{ id: 1, bounds: rect(0, 0, 40, 30) }], screenshot: { delayMs: 150 } } });
  const pending = d.captureDisplay({ displayId: 1 });
  assert.throws(() => d.setWorld({}), {
    code: 'GenericFailure',
    message: 'setWorld: 1 call(s) of the previous world are still in flight; await them first',
  });
  assert.equal(d.probe().callsInFlight, 1);
  assert.equal((await pending).width, 40, 'the call finished in its own world');
  d.setWorld({});
  assert.deepEqual(await d.getDisplays(), []);
  await assertSettled();
});

test('strict worlds name the offending field; lenient ones keep the forgiving reading', async () => {
  const refused = [
    [{ screen: { displays: [{ id: 1, bounds: { x: 0, widht: 3 } }] } }, 'screen.displays[0].bounds.widht: unknown field'],
    [{ screen: { display: [] } }, 'screen.display: unknown field'],
    [{ timeScale: '0.1' }, 'timeScale: expected a number'],
    [{ windows: [{ id: -1 }] }, 'windows[0].id: expected an unsigned 32-bit integer'],
    [{ displays: [{ background: '#12345' }] }, 'displays[0].background: expected a colour ("#rrggbb", "#rrggbbaa" or [r, g, b(, a)] of 0..255)'],
    [{ phone: { devices: [{ media: ['muxed', 'screen'] }] } }, 'phone.devices[0].media[1]: expected one of muxed,video,audio'],
    [{ screen: { displays: [{ mode: 2 }] } }, 'screen.displays[0].mode: expected an object or null'],
    [{ desktop: { rawAnswerBytes: { notch_size: { hex: 1 } } } }, 'desktop.rawAnswerBytes.notch_size.hex: expected a string'],
    [[], 'the world: expected an object'],
  ];
  d.setWorld({ screen: { displays: [{ id: 9 }] } });
  for (const [world, message] of refused) {
    assert.throws(() => d.setWorld(world), { code: 'InvalidArg', message }, JSON.stringify(world));
  }
  assert.deepEqual((await d.getDisplays()).map((x) => x.id), [9], 'a refused world leaves the current one');

  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-world-'));
  const [broken, good] = [path.join(dir, 'broken.json'), path.join(dir, 'good.json')];
  fs.writeFileSync(broken, '{"screen": ');
  assert.throws(() => d.setWorld(broken), { code: 'InvalidArg', message: new RegExp(`^${broken}: .*parse error`) });
  assert.throws(() => d.setWorld(path.join(dir, 'none.json')), { message: /none\.json: cannot open the world file$/ });
  fs.writeFileSync(good, JSON.stringify({ screen: { displays: [{ id: 4 }] } }));
  d.setWorld(good);
  assert.deepEqual((await d.getDisplays()).map((x) => x.id), [4]);

  d.setWorld({ lenient: true, timeScale: 'fast', screen: { displays: [{ id: 5, bounds: { widht: 3 } }], extra: 1 } });
  assert.deepEqual((await d.getDisplays()).map((x) => [x.id, x.width]), [[5, 1920]]);

  // The first world comes from DESKCAP_FAKE_WORLD: a bad one fails the load.
  const r = await runNodeAsync(`
    try { require(${JSON.stringify(path.join(root, 'testing.js'))}); console.log('loaded'); }
    catch (e) { console.log(e.code + ' ' + e.message); }
  `, { world: { screen: { displays: [{ id: 1, bounds: { widht: 3 } }] } } });
  assert.match(r.stdout.trim(), /^InvalidArg \/.*world\.json: screen\.displays\[0\]\.bounds\.widht: unknown field$/);
});

test('the old section names are the same desktop as the one lists', async () => {
  const app = { pid: 501, bundleId: 'com.example.editor', name: 'Editor' };
  const display = { id: 1, main: true, bounds: rect(0, 0, 400, 300), scale: 2, background: '#102030' };
  const windows = [{ id: 7, pid: 501, title: 'Chat', frame: rect(250, 40, 120, 200), fill: '#00ff00', layer: 3 },
    { id: 8, pid: 501, title: 'Editor', frame: rect(10, 20, 300, 200), fill: '#ff0000' }];
  const notch = { safeAreaTop: 32, auxiliaryTopLeft: rect(0, 0, 150, 32), auxiliaryTopRight: rect(250, 0, 150, 32) };
  const unified = { applications: [app], windows, displays: [{ ...display, ...notch }] };
  const old = {
    screen: { displays: [display], windows, applications: [app] },
    desktop: { screens: [{ frame: display.bounds, ...notch }] },
  };
  const answers = async (world) => {
    d.setWorld(world);
    return {
      displays: await d.getDisplays(),
      shot: (await d.captureDisplay({ displayId: 1, excludeWindowIds: [7] })).buffer.toString('base64'),
      window: (await d.captureWindow(7)).buffer.toString('base64'),
      bounds: d.getAppWindowBounds('com.example.editor'),
      notch: d.getNotchSize(),
    };
  };
  const fromOld = await answers(old);
  assert.deepEqual([fromOld.bounds, fromOld.notch, fromOld.displays.length], [rect(10, 20, 300, 200), { width: 100, height: 32 }, 1],
    'the window of layer 3 is skipped; the old screen is the same display, not a second one');
  assert.deepEqual(await answers(unified), fromOld);
  // The notch shorthand says the same.
  d.setWorld({ displays: [{ ...display, notch: { width: 100, height: 32 } }] });
  assert.deepEqual(d.getNotchSize(), fromOld.notch);
});

test('byte-form raw answers reach the text repair; a NUL ends the document', async () => {
  const text = Buffer.concat([Buffer.from('[{"pid":5,"bundleId":"a'), Buffer.from([0xc3, 0x28]),
    Buffer.from('b"},{"pid":6,"bundleId":"x"}]'), Buffer.from([0]), Buffer.from('garbage')]);
  d.setWorld({ desktop: { rawAnswerBytes: { microphone_apps_json: { hex: text.toString('hex') } } } });
  const apps = await d.listMicrophoneApps();
  d.setWorld({ desktop: { rawAnswerBytes: { microphone_apps_json: { base64: text.toString('base64') } } } });
  assert.deepEqual(await d.listMicrophoneApps(), apps);
  assert.deepEqual(apps, [{ pid: 5, bundleId: 'a\ufffd(b' }, { pid: 6, bundleId: 'x' }]);

  d.setWorld({ desktop: { rawAnswerBytes: { notch_size: { hex: Buffer.from('{"width":\xff}', 'latin1').toString('hex') } } } });
  assert.match(sync(() => d.getNotchSize()).message, /^Malformed notch size: /);
});

test('probe counts what the calls did and comes back to rest after failures of every kind of work', async () => {
  const failures = [
    [{ screen: { displayList: { listError: 3 } } }, () => d.getDisplays()],
    [{ allocation: { failSizes: [3] }, phone: { screenCaptureProperty: { setStatus: -1 } } }, () => d.listIosDevices()],
    [{ phone: { usb: { status: 5 } } }, () => d.usbAppleDeviceCount()],
    [{ timeScale: 0.01, phone: { devices: [phone({ capture: { frame: { delayMs: 9000 } } })] } }, () => d.captureIosDevice(ID)],
    [{ desktop: { rawAnswers: { microphone_apps_json: '[' } } }, () => d.listMicrophoneApps()],
    [{ tcc: { library: '/nonexistent/libTCC.so' } }, () => d.requestSystemAudioAccess()],
  ];
  for (const [world, call] of failures) {
    d.setWorld(world);
    const outcome = await later(call());
    await assertSettled(JSON.stringify(world));
    assert.ok(outcome.code === 'GenericFailure' || [null, 0, undefined].includes(outcome.value) ||
      (Array.isArray(outcome.value) && outcome.value.length === 0), `${JSON.stringify(world)}: ${JSON.stringify(outcome)}`);
  }
  d.setWorld({ timeScale: 0.01, phone: { devices: [phone()], camera: { status: 0, request: { granted: false } } } });
  await later(d.captureIosDevice(ID));
  assert.equal(d.probe().cameraPrompts, 1);
  d.setWorld({ phone: { devices: [phone()] } });
  await d.captureIosDevice(ID);
  const after = d.probe();
  assert.deepEqual([after.cameraPrompts, after.sessionsCreated, after.sessionsRunning, after.propertyWrites], [0, 1, 0, 1]);

  d.setWorld({ screen: { displays: [{ id: 3, bounds: rect(0, 0, 50, 40), scale: 2 }] } });
  await d.captureDisplay({ displayId: 3, cropBounds: rect(10, 5, 20, 10) });
  assert.deepEqual(d.probe().lastScreenshot, {
    filter: { kind: 'displayExcludingWindows', displayId: 3, windowIds: [] },
    configuration: { width: 40, height: 20, showsCursor: false, sourceRect: rect(10, 5, 20, 10) },
  });
  await assertSettled();
});
