'use strict';
// startCapture() over the fake world: frames at the rate, drops for a slow
// consumer, the images the still captures give, the system's stops, and stops
// that leave nothing behind.
const test = require('node:test');
const assert = require('node:assert/strict');
const { d, sync, assertSettled, rect } = require('./helpers/world');
const { runNodeAsync } = require('./helpers/child');

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const display = (extra = {}) => ({ id: 1, main: true, bounds: rect(0, 0, 320, 200), ...extra });
const windows = [{ id: 7, pid: 5, frame: rect(20, 10, 100, 60), fill: '#336699' },
  { id: 8, pid: 6, frame: rect(150, 50, 80, 80), fill: '#cc8800' }];
const world = (stream = {}, extra = {}) => d.setWorld({ displays: [display()], windows, screen: { stream }, ...extra });

// Collects the 'frame' events until `count` came (or 5 s passed), then stops.
async function frames(stream, count) {
  const seen = [];
  stream.on('frame', (f) => seen.push(f));
  for (let i = 0; i < 500 && seen.length < count; i++) await sleep(10);
  await stream.stop();
  return seen;
}

// The counter the fake paints into each frame's first pixel (B G R of raw RGBA's B, G).
const counter = (frame) => frame.buffer[2] | (frame.buffer[1] << 8);

test('frames come at about the rate, each once and in order, and stop() ends the stream cleanly', async () => {
  world();
  const stream = d.startCapture({ displayId: 1, fps: 20, format: 'raw' });
  const events = [];
  for (const name of ['end', 'error', 'close']) stream.on(name, () => events.push(name));
  const seen = [];
  stream.on('frame', (f) => seen.push(f));
  await sleep(1000);
  await stream.stop();
  // 20 a second, measured loosely: this is about the pacing, not the clock.
  assert.ok(seen.length >= 5 && seen.length <= 30, `${seen.length} frames in a second at 20 fps`);
  assert.deepEqual(seen.map((f) => f.sequence), seen.map((_, i) => i + 1));
  assert.deepEqual(Object.keys(seen[0]), ['buffer', 'width', 'height', 'format', 'scale', 'timestamp', 'sequence']);
  assert.deepEqual([seen[0].width, seen[0].height, seen[0].format, seen[0].scale, seen[0].buffer.length],
    [320, 200, 'raw', 1, 320 * 200 * 4]);
  // Consecutive frames differ, and their times run forward.
  assert.deepEqual(seen.map(counter), seen.map((_, i) => i + 1));
  for (let i = 1; i < seen.length; i++) assert.ok(seen[i].timestamp >= seen[i - 1].timestamp);
  assert.ok(Math.abs(seen[0].timestamp - Date.now()) < 60000, 'milliseconds of the Unix epoch');
  assert.deepEqual(events, ['end', 'close']);
  const stats = stream.stats();
  assert.equal(stats.produced, stats.delivered + stats.dropped);
  assert.ok(stats.delivered === seen.length);
  // Stopping again answers at once and changes nothing.
  await stream.stop();
  assert.deepEqual(events, ['end', 'close']);
  await assertSettled();
});

test('a slow consumer loses the oldest frames: gaps in sequence, counted, and never more than the queue held', async () => {
  world();
  const stream = d.startCapture({ displayId: 1, fps: 50, format: 'png', maxQueued: 2 });
  const sequences = [];
  let most = 0;
  let behind = 0;  // how far the frame taken is behind the newest produced
  let produced = 0;
  for await (const frame of stream) {
    sequences.push(frame.sequence);
    if (sequences.length > 1) behind = Math.max(behind, produced - frame.sequence);
    most = Math.max(most, d.probe().streamFramesInFlight);
    if (sequences.length === 6) break;  // leaving the loop stops the stream
    await sleep(150);
    produced = stream.stats().produced;
  }
  // The queue keeps the newest: what is taken after a pause is recent, not what waited longest.
  assert.ok(behind <= 2 + 1, `${behind} frames behind the newest`);
  assert.ok(most <= 2 + 2, `${most} frames held at once`);
  const gaps = sequences.slice(1).some((s, i) => s > sequences[i] + 1);
  assert.ok(gaps, `sequences ${sequences} show the drops`);
  const stats = stream.stats();
  assert.equal(stats.delivered, 6);
  assert.ok(stats.dropped > 0);
  assert.equal(stats.produced, stats.delivered + stats.dropped);
  await assertSettled();
});

test('frames are the still captures\' images: sizes, formats, crops, excluded windows and window streams', async () => {
  // A still screen, so that the frame and the still capture show the same pixels.
  d.setWorld({ displays: [display({ mode: { pixelWidth: 640, width: 320 } })], windows, screen: { stream: { still: true } } });
  const cases = [
    [{ displayId: 1, format: 'raw' }, (o) => d.captureDisplay(o)],
    [{ displayId: 1, format: 'raw', maxWidth: 101, excludeWindowIds: [8] }, (o) => d.captureDisplay(o)],
    [{ displayId: 1, format: 'raw', cropBounds: rect(10, 5, 150, 90) }, (o) => d.captureDisplay(o)],
    [{ windowId: 7, format: 'raw' }, ({ windowId, ...o }) => d.captureWindow(windowId, o)],
    [{ windowId: 8, format: 'raw', maxHeight: 50 }, ({ windowId, ...o }) => d.captureWindow(windowId, o)],
  ];
  for (const [options, still] of cases) {
    const [frame] = await frames(d.startCapture({ ...options, fps: 30 }), 1);
    const { buffer, ...shape } = await still(options);
    const { buffer: streamed, timestamp, sequence, ...frameShape } = frame;
    assert.deepEqual(frameShape, shape, JSON.stringify(options));
    assert.ok(streamed.equals(buffer), `${JSON.stringify(options)}: the same pixels`);
  }
  const [jpeg] = await frames(d.startCapture({ displayId: 1, format: 'jpeg', quality: 40, maxWidth: 160 }), 1);
  assert.deepEqual([jpeg.format, jpeg.width, jpeg.height, jpeg.scale], ['jpeg', 160, 100, 0.5]);
  assert.equal(jpeg.buffer.subarray(0, 2).toString('hex'), 'ffd8');
  await assertSettled();
});

test('an unchanged screen: frames keep coming at the rate, or with onlyChanged only when something changes', async () => {
  world({ still: true });
  const repeated = await frames(d.startCapture({ displayId: 1, fps: 30, format: 'raw' }), 4);
  assert.ok(repeated.length >= 4);
  assert.deepEqual(repeated.map((f) => f.sequence), repeated.map((_, i) => i + 1));

  const stream = d.startCapture({ displayId: 1, fps: 30, format: 'raw', onlyChanged: true });
  const seen = [];
  stream.on('frame', (f) => seen.push(f));
  await sleep(400);
  assert.equal(seen.length, 1, 'only the first picture while nothing changes');
  d.changeWorld({ windows: [{ ...windows[0], frame: rect(60, 10, 100, 60) }, windows[1]] });
  for (let i = 0; i < 200 && seen.length < 2; i++) await sleep(10);
  await sleep(200);
  await stream.stop();
  assert.equal(seen.length, 2, 'one frame for the one change');
  assert.ok(!seen[0].buffer.equals(seen[1].buffer));
  await assertSettled();
});

test('the system ends a stream: window closed, display gone, permission revoked, stopped by the daemon', async () => {
  const ended = async (options, change) => {
    const stream = d.startCapture(options);
    const events = [];
    stream.on('frame', () => { if (!events.includes('frame')) events.push('frame'); });
    const error = new Promise((resolve) => stream.on('error', resolve));
    stream.on('close', () => events.push('close'));
    await new Promise((resolve) => stream.once('frame', resolve));
    if (change) d.changeWorld(change);
    const e = await error;
    await new Promise((resolve) => setImmediate(resolve));
    assert.deepEqual(events, ['frame', 'close']);
    const stats = stream.stats();
    assert.equal(stats.produced, stats.delivered + stats.dropped);
    return { message: e.message, code: e.code, permission: e.permission };
  };
  world();
  assert.deepEqual(await ended({ windowId: 7 }, { windows: [windows[1]] }), { code: 'GenericFailure',
    message: 'Capture stream stopped: Stream error: The window is no longer available', permission: undefined });
  assert.deepEqual((await ended({ displayId: 1 }, { displays: [] })).message,
    'Capture stream stopped: Stream error: The display is no longer available');
  world();
  assert.deepEqual(await ended({ displayId: 1 }, { screen: { permission: 'denied' } }), { code: 'GenericFailure',
    message: 'Capture stream stopped: Stream error: The user declined TCCs for application, window, display capture',
    permission: 'screen-recording' });
  world({ stopAfterFrames: 3, stopCode: -3821, stopError: 'Stream was stopped by the system' });
  assert.equal((await ended({ displayId: 1, fps: 60 })).message,
    'Capture stream stopped: Stream error: Stream was stopped by the system');

  // A loop that is waiting rejects with the error.
  world({ stopAfterFrames: 2 });
  const loop = (async () => { for await (const frame of d.startCapture({ displayId: 1 })) assert.ok(frame); })();
  await assert.rejects(loop, /Capture stream stopped: Stream error: Stream was stopped by the system/);
  await assertSettled();
});

test('a stream that cannot start ends with the reason, as an error event or a rejected loop', async () => {
  const failed = async (options) => {
    const stream = d.startCapture(options);
    const error = await new Promise((resolve) => stream.on('error', resolve));
    return error.message;
  };
  world();
  assert.equal(await failed({ displayId: 9 }), 'Display 9 not found in ScreenCaptureKit');
  assert.equal(await failed({ windowId: 99 }), 'Window 99 not found in ScreenCaptureKit');
  world({ start: { error: 'Failed to start due to video/audio capture failure' } });
  assert.equal(await failed({ displayId: 1 }),
    'Failed to start capture stream: Stream error: Failed to start due to video/audio capture failure');
  world({ outputError: 'The output could not be added' });
  assert.equal(await failed({ windowId: 7 }), 'Failed to create capture stream: Stream error: The output could not be added');
  // A start the framework answers only after the time limit (10 s, scaled).
  world({ start: { delayMs: 30000 } }, { timeScale: 0.01 });
  assert.equal(await failed({ displayId: 1 }), 'Capture stream did not start within 10 s');
  // Without any listener the error is kept for a loop, not thrown.
  world();
  const unheard = d.startCapture({ displayId: 5 });
  await sleep(200);
  await assert.rejects(unheard[Symbol.asyncIterator]().next(), /Display 5 not found/);
  await assertSettled();
});

test('stop() while a frame encodes, with frames queued, before the start has finished, and with the stop never answered', async () => {
  // Large frames at a high rate: a frame is always encoding, and nobody takes any.
  d.setWorld({ displays: [display({ bounds: rect(0, 0, 2560, 1600) })], windows });
  const busy = d.startCapture({ displayId: 1, fps: 60, format: 'png', maxQueued: 3 });
  for (let i = 0; i < 300 && busy.stats().produced < 6; i++) await sleep(10);
  await busy.stop();
  const stats = busy.stats();
  assert.ok(stats.produced >= 6 && stats.delivered === 0 && stats.dropped === stats.produced, JSON.stringify(stats));
  await assertSettled();

  // Stopped while the framework still starts it: it ends, without an error.
  world({ start: { delayMs: 200 } });
  const early = d.startCapture({ displayId: 1 });
  const events = [];
  for (const name of ['end', 'error', 'frame']) early.on(name, () => events.push(name));
  await early.stop();
  assert.deepEqual(events, ['end']);
  await assertSettled();

  // The framework never answers the stop: the stream still ends (after 5 s, scaled).
  world({ stop: { delayMs: 30000 } }, { timeScale: 0.01 });
  const stuck = d.startCapture({ displayId: 1, fps: 60 });
  await new Promise((resolve) => stuck.once('frame', resolve));
  await stuck.stop();
  assert.equal(d.probe().streamsRunning, 0);
  await assertSettled();
});

test('bad options throw at once, with the code and what was wrong', () => {
  world();
  const cases = [
    [{}, 'InvalidArg', 'Expected exactly one of `displayId` and `windowId`'],
    [{ displayId: 1, windowId: 7 }, 'InvalidArg', 'Expected exactly one of `displayId` and `windowId`'],
    [{ displayId: 1, fps: 0 }, 'InvalidArg', 'Expected an integer from 1 to 60, got 0 on StreamOptions.fps'],
    [{ displayId: 1, fps: 61 }, 'InvalidArg', 'Expected an integer from 1 to 60, got 61 on StreamOptions.fps'],
    [{ displayId: 1, fps: 2.5 }, 'InvalidArg', 'Expected an integer from 1 to 60, got 2.5 on StreamOptions.fps'],
    [{ displayId: 1, maxQueued: 0 }, 'InvalidArg', 'Expected an integer from 1 to 1000, got 0 on StreamOptions.maxQueued'],
    [{ displayId: 1, onlyChanged: 'yes' }, 'BooleanExpected'],
    [{ windowId: 7, cropBounds: rect(0, 0, 5, 5) }, 'InvalidArg', '`excludeWindowIds` and `cropBounds` apply to display streams only'],
    [{ displayId: 1, format: 'gif' }, 'InvalidArg', 'Unknown format `gif`, expected `png`, `jpeg` or `raw` on StreamOptions.format'],
    [{ displayId: 'one' }, 'NumberExpected'],
  ];
  for (const [options, code, message] of cases) {
    const got = sync(() => d.startCapture(options));
    assert.equal(got.code, code, JSON.stringify(options));
    if (message) assert.equal(got.message, message);
  }
  assert.equal(d.probe().streamsRunning, 0);
});

test('a running stream keeps its process alive until stopped, and process.exit and Worker teardown stop it', async () => {
  const testing = JSON.stringify(require.resolve('../../testing.js'));
  const kept = await runNodeAsync(`
    const d = require(${testing});
    const s = d.startCapture({ displayId: 1, fps: 30 });
    let n = 0;
    s.on('frame', () => { if (++n === 5) s.stop().then(() => console.log('stopped', n)); });
  `, { world: { displays: [display()] } });
  assert.equal(kept.status, 0, kept.stderr);
  assert.match(kept.stdout, /stopped 5/);

  const exited = await runNodeAsync(`
    const d = require(${testing});
    const s = d.startCapture({ displayId: 1, fps: 60, maxQueued: 1 });
    s.once('frame', () => process.exit(3));
  `, { world: { displays: [display({ bounds: rect(0, 0, 1920, 1080) })] }, abruptEnd: true });
  assert.equal(exited.status, 3, exited.stderr);

  const workers = await runNodeAsync(`
    const { Worker } = require('worker_threads');
    const body = \`
      const d = require(${testing.replace(/"/g, "'")});
      const s = d.startCapture({ displayId: 1, fps: 60 });
      s.once('frame', () => require('worker_threads').parentPort.postMessage('frame'));
    \`;
    (async () => {
      for (let i = 0; i < 4; i++) {
        const w = new Worker(body, { eval: true });
        await new Promise((resolve) => w.once('message', resolve));
        await w.terminate();
      }
      const d = require(${testing});
      console.log(JSON.stringify(d.probe().streamsRunning));
    })();
  `, { world: { displays: [display()] }, abruptEnd: true });
  assert.equal(workers.status, 0, workers.stderr);
  assert.equal(workers.stdout.trim(), '0');
});
