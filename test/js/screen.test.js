'use strict';
// getDisplays, captureDisplay and captureWindow end to end over fake worlds
// installed with setWorld, with the PNGs read back by Node's zlib.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { decodePng } = require('./helpers/png');
const { d, later, rect, assertSettled } = require('./helpers/world');
const display = (id, bounds, pixelWidth, width, extra = {}) => ({ id, bounds, mode: { pixelWidth, width }, ...extra });
const window = (id, frame, fill, extra = {}) => ({ id, frame, fill, pid: 500, ...extra });

// Main 2x display of 300 x 200 points; windows front to back: 11 blue over
// 10 red; 12 green on a 1x display to the left.
function desktop(extra = {}) {
  return {
    screen: {
      displays: [
        display(1, rect(0, 0, 300, 200), 600, 300, { main: true, background: '#202020' }),
        display(2, rect(-400, 0, 400, 300), 400, 400, { background: '#101010' }),
      ],
      windows: [
        window(11, rect(40, 40, 60, 60), '#0000ff'),
        window(10, rect(20, 20, 100, 50), '#ff0000'),
        window(12, rect(-300, 10, 50, 50), '#00ff00'),
      ],
      ...extra,
    },
  };
}

const decode = (image) => decodePng(image.buffer);

async function displaysOf(world) {
  d.setWorld(world);
  return d.getDisplays();
}

test('getDisplays lists the displays of the world', async () => {
  const retina = await displaysOf({ screen: { displays: [display(69733378, rect(0, 0, 1512, 982), 3024, 1512, { main: true })] } });
  const pair = await displaysOf({ screen: { displays: [
    display(1, rect(0, 0, 1512, 982), 3024, 1512, { main: true }),
    display(2, rect(-2560, -200.5, 2560, 1440), 2560, 2560),
  ] } });
  const zeroWidth = await displaysOf({ screen: { displays: [display(3, rect(0, 0, 800, 600), 1600, 0, { main: true })] } });
  const list = await displaysOf({});
  const none = { list, isArray: Array.isArray(list) };
  assert.deepEqual(retina, [{
    id: 69733378, name: 'Display 69733378', x: 0, y: 0, width: 1512, height: 982, scaleFactor: 2, isPrimary: true,
  }]);
  assert.equal(pair.length, 2);
  assert.deepEqual(pair[1], {
    id: 2, name: 'Display 2', x: -2560, y: -200, width: 2560, height: 1440, scaleFactor: 1, isPrimary: false,
  });
  assert.equal(pair.filter((e) => e.isPrimary).length, 1);
  assert.equal(zeroWidth[0].scaleFactor, 1);
  assert.deepEqual(none, { list: [], isArray: true });
});

test('getDisplays rejects when the display list cannot be read', async () => {
  d.setWorld({ screen: { displays: [{ id: 1 }], displayList: { countError: 1001 } } });
  const count = await later(d.getDisplays());
  d.setWorld({ screen: { displays: [{ id: 1 }], displayList: { listError: 1001 } } });
  const list = await later(d.getDisplays());
  assert.deepEqual(count, { code: 'GenericFailure', message: 'Failed to get display count', isError: true });
  assert.deepEqual(list, { code: 'GenericFailure', message: 'Failed to get display list', isError: true });
});

test('captureDisplay draws the windows at the mode scale, without the excluded one', async () => {
  d.setWorld(desktop());
  const out = {
    whole: await d.captureDisplay({ displayId: 1 }),
    without: await d.captureDisplay({ displayId: 1, excludeWindowIds: [10, 77, 10] }),
  };
  for (const image of [out.whole, out.without]) {
    assert.equal(Buffer.isBuffer(image.buffer), true);
    assert.equal(image.width, 600);
    assert.equal(image.height, 400);
  }
  const whole = decode(out.whole);
  assert.deepEqual(whole.chunks.filter((c) => c !== 'IDAT'), ['IHDR', 'IEND']);
  assert.equal(whole.width, 600);
  assert.equal(whole.height, 400);
  assert.equal(whole.at(10, 10), '#202020ff');
  assert.equal(whole.at(40, 40), '#ff0000ff'); // point (20, 20): red's corner
  assert.equal(whole.at(39, 40), '#202020ff');
  assert.equal(whole.at(100, 100), '#0000ffff'); // blue in front of red
  assert.equal(whole.at(230, 60), '#ff0000ff');

  // A second, independent reader where the machine has one.
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-png-')), 'whole.png');
  fs.writeFileSync(file, out.whole.buffer);
  const check = spawnSync('pngcheck', [file], { encoding: 'utf8' });
  if (!check.error) assert.equal(check.status, 0, check.stdout + check.stderr);

  const without = decode(out.without);
  assert.equal(without.at(40, 40), '#202020ff');
  assert.equal(without.at(230, 60), '#202020ff');
  assert.equal(without.at(100, 100), '#0000ffff');
  const asked = d.probe().lastScreenshot;
  assert.deepEqual(asked.filter.windowIds, [10]);
  assert.equal(asked.configuration.showsCursor, false);
});

test('large captures, several at once, decode inside Node; a reused pixel block leaks nothing', async () => {
  d.setWorld({ screen: {
    displays: [display(1, rect(0, 0, 1440, 900), 2880, 1440, { main: true, background: '#5a7fa8' }),
               display(2, rect(2000, 0, 300, 200), 300, 300, { background: '#101010' })],
    windows: [window(7, rect(100, 100, 700, 500), '#ff000080'),
              window(8, rect(900, 650, 500, 200), '#f5f5f7', { pattern: { kind: 'checker', color: '#1e1e1e', size: 3 } })],
  } });
  const atOnce = await Promise.all([d.captureDisplay({ displayId: 1 }), d.captureWindow(7),
    d.captureDisplay({ displayId: 2 }), d.captureDisplay({ displayId: 1 })]);
  // The translucent window straight after an opaque 2880x1800 capture.
  const after = [await d.captureDisplay({ displayId: 1 }), await d.captureWindow(7)];
  const [big, win, small, big2, big3, win2] = [...atOnce, ...after].map(decode);
  for (const image of [big, big2, big3]) {
    assert.deepEqual([image.width, image.height], [2880, 1800]);
    assert.ok(image.chunks.filter((c) => c === 'IDAT').length > 1, 'cut into strips');
    assert.equal(image.at(0, 0), '#5a7fa8ff');
    assert.equal(image.at(1800, 1300), '#f5f5f7ff'); // checker cells at point (900, 650)
    assert.equal(image.at(1806, 1300), '#1e1e1eff');
    assert.equal(image.at(2879, 1799), '#5a7fa8ff');
  }
  assert.ok(Buffer.from(big.rgba).equals(Buffer.from(big3.rgba)));
  for (const image of [win, win2]) {
    assert.deepEqual([image.width, image.height], [1400, 1000]);
    assert.equal(image.at(0, 0), '#80000080'); // premultiplied, as captured
    assert.equal(image.at(1399, 999), '#80000080');
  }
  assert.equal(small.at(299, 199), '#101010ff');
});

test('captureWindow sizes from the frame and rounds halves away from zero', async () => {
  const world = { screen: {
    displays: [display(1, rect(0, 0, 2000, 1500), 4000, 2000, { main: true })],
    windows: [window(5, rect(10, 10, 640.25, 480), '#336699'), window(6, rect(5, 5, 800, 600), '#ffffff')],
  } };
  d.setWorld(world);
  const out = [await d.captureWindow(5), await d.captureWindow(6)];
  assert.deepEqual([out[0].width, out[0].height], [1281, 960]);
  assert.deepEqual([out[1].width, out[1].height], [1600, 1200]);
  // Window 5 lies under window 6 but is captured alone.
  const image = decode(out[0]);
  assert.equal(image.width, 1281);
  assert.equal(image.at(640, 480), '#336699ff');
});

test('unknown ids reject once the content has been fetched', async () => {
  d.setWorld(desktop());
  const out = {
    display: await later(d.captureDisplay({ displayId: 4242 })),
    window: await later(d.captureWindow(4000000000)),
  };
  assert.deepEqual(out.display, { code: 'GenericFailure', message: 'Display 4242 not found in ScreenCaptureKit', isError: true });
  assert.deepEqual(out.window, { code: 'GenericFailure', message: 'Window 4000000000 not found in ScreenCaptureKit', isError: true });
  const p = d.probe();
  assert.equal(p.contentFetches, 2);
  assert.equal(p.screenshotsStarted, 0);
  await assertSettled();
});

test('each failure rejects with its whole message chain', async () => {
  const rows = [
    [{ content: { error: 'The user declined TCCs for application, window, display capture' } },
      'Failed to get shareable content: No shareable content available: Content unavailable: The user declined TCCs for application, window, display capture',
      'Failed to get shareable content: No shareable content available: Content unavailable: The user declined TCCs for application, window, display capture'],
    [{ content: { outcome: 'none' } },
      'Failed to get shareable content: No shareable content available: Unknown error',
      'Failed to get shareable content: No shareable content available: Unknown error'],
    [{ content: { errorBytes: [0xc3, 0x28] } },
      'Failed to get shareable content: No shareable content available: Unknown error',
      'Failed to get shareable content: No shareable content available: Unknown error'],
    [{ screenshot: { error: 'Stream failed' } },
      'Screenshot capture failed: Screenshot capture failed: Screenshot error: Stream failed',
      'Window screenshot capture failed: Screenshot capture failed: Screenshot error: Stream failed'],
    [{ screenshot: { outcome: 'none', deliver: 'sync' } },
      'Screenshot capture failed: Screenshot capture failed: Unknown error',
      'Window screenshot capture failed: Screenshot capture failed: Unknown error'],
    [{ pixels: { fail: true } },
      'Failed to extract image data: Internal error: Failed to extract pixel data from CGImage',
      'Failed to extract image data: Internal error: Failed to extract pixel data from CGImage'],
    [{ screenshot: { imageSize: { width: 0, height: 4 } }, pixels: { drawEmpty: true } },
      'PNG encode failed: Zero width not allowed',
      'PNG encode failed: Zero width not allowed'],
  ];
  for (const [extra, displayMessage, windowMessage] of rows) {
    d.setWorld(desktop(extra));
    const byDisplay = await later(d.captureDisplay({ displayId: 1 }));
    await assertSettled(`captureDisplay, ${JSON.stringify(extra)}`);
    const byWindow = await later(d.captureWindow(10));
    await assertSettled(`captureWindow, ${JSON.stringify(extra)}`);
    assert.deepEqual(byDisplay, { code: 'GenericFailure', message: displayMessage, isError: true }, JSON.stringify(extra));
    assert.deepEqual(byWindow, { code: 'GenericFailure', message: windowMessage, isError: true }, JSON.stringify(extra));
  }
});

test('cropBounds captures a part of the display, in points from its corner', async () => {
  d.setWorld(desktop());
  const out = {
    inside: await d.captureDisplay({ displayId: 1, cropBounds: { x: 10, y: 15, width: 40, height: 20 } }),
    edge: await d.captureDisplay({ displayId: 1, cropBounds: { x: 250, y: 150, width: 100, height: 100 } }),
  };
  const asked = d.probe().lastScreenshot;
  out.outside = await later(d.captureDisplay({ displayId: 1, cropBounds: { x: 400, y: 0, width: 10, height: 10 } }));
  out.notFinite = await later(d.captureDisplay({ displayId: 1, cropBounds: { x: 0, y: 0, width: Infinity, height: 10 } }));
  out.missing = await later(Promise.resolve().then(() => d.captureDisplay({ displayId: 1, cropBounds: { y: 0, width: 1, height: 1 } })));
  // Points 10..50 x 15..35 at 2x: red from point 20 (pixel 20) and row point 20 (pixel 10).
  assert.deepEqual([out.inside.width, out.inside.height], [80, 40]);
  const inside = decode(out.inside);
  assert.equal(inside.at(19, 10), '#202020ff');
  assert.equal(inside.at(20, 10), '#ff0000ff');
  assert.equal(inside.at(20, 9), '#202020ff');
  assert.equal(inside.at(79, 39), '#ff0000ff');
  // Cut to the display: 250..300 x 150..200.
  assert.deepEqual([out.edge.width, out.edge.height], [100, 100]);
  assert.deepEqual(asked.configuration.sourceRect, rect(250, 150, 50, 50));
  assert.deepEqual(out.outside, { code: 'GenericFailure', message: 'Crop bounds do not intersect display 1', isError: true });
  assert.deepEqual(out.notFinite, { code: 'GenericFailure', message: 'Crop bounds must be finite numbers', isError: true });
  assert.match(out.missing.message, /^Missing field `x`/);
});

test('as many screenshots are in flight as there are workers', async () => {
  // The pool has TOKIO_WORKER_THREADS scheduler workers, else one per processor.
  const workers = Number(process.env.TOKIO_WORKER_THREADS) || os.cpus().length;
  d.setWorld(desktop({ screenshot: { delayMs: 150 } }));
  const all = await Promise.all(Array.from({ length: workers + 2 }, () => d.captureDisplay({ displayId: 2 })));
  assert.deepEqual(all.map((image) => image.width), Array(workers + 2).fill(400));
  const p = d.probe();
  assert.equal(p.screenshotsFinished, workers + 2);
  assert.equal(p.maxScreenshotsInFlight, workers);
});
