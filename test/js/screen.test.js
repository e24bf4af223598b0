'use strict';
// getDisplays, captureDisplay and captureWindow end to end over fake worlds
// installed with setWorld, with the PNGs read back by Node's zlib.
const test = require('node:test');
const assert = require('node:assert/strict');
const { decodePng } = require('./helpers/png');
const { d, later, rect, assertSettled } = require('./helpers/world');
const { runNodeAsync } = require('./helpers/child');

const display = (id, bounds, pixelWidth, width, extra = {}) => ({ id, bounds, mode: { pixelWidth, width }, ...extra });
const window = (id, frame, fill, extra = {}) => ({ id, frame, fill, pid: 500, ...extra });
const failure = (message) => ({ code: 'GenericFailure', message, isError: true });
const decode = (image) => decodePng(image.buffer);

// Main 2x display of 300 x 200 points; windows front to back: 11 blue over
// 10 red; 12 green on a 1x display to the left.
const desktop = (extra = {}) => ({ screen: {
  displays: [display(1, rect(0, 0, 300, 200), 600, 300, { main: true, background: '#202020' }),
    display(2, rect(-400, 0, 400, 300), 400, 400, { background: '#101010' })],
  windows: [window(11, rect(40, 40, 60, 60), '#0000ff'), window(10, rect(20, 20, 100, 50), '#ff0000'),
    window(12, rect(-300, 10, 50, 50), '#00ff00')],
  ...extra,
} });

test('getDisplays answers the display list, or rejects when it cannot be read', async () => {
  d.setWorld({ screen: { displays: [display(69733378, rect(-2560, -200.5, 1512, 982), 3024, 1512, { main: true })] } });
  assert.deepEqual(await d.getDisplays(), [{
    id: 69733378, name: 'Display 69733378', x: -2560, y: -200, width: 1512, height: 982, scaleFactor: 2, isPrimary: true,
  }]);
  d.setWorld({});
  assert.deepEqual(await d.getDisplays(), []);
  d.setWorld({ screen: { displays: [{ id: 1 }], displayList: { countError: 1001 } } });
  assert.deepEqual(await later(d.getDisplays()), failure('Failed to get display count'));
});

test('captureDisplay: a PNG at the mode scale, with the excluded windows left out', async () => {
  d.setWorld(desktop());
  const whole = await d.captureDisplay({ displayId: 1 });
  assert.deepEqual([Buffer.isBuffer(whole.buffer), whole.width, whole.height], [true, 600, 400]);
  const image = decode(whole);
  // Point (20, 20) is red's corner; blue is in front of red.
  assert.deepEqual([image.chunks.filter((c) => c !== 'IDAT'), image.width, image.height, image.at(39, 40), image.at(40, 40),
    image.at(100, 100)], [['IHDR', 'IEND'], 600, 400, '#202020ff', '#ff0000ff', '#0000ffff']);
  const without = decode(await d.captureDisplay({ displayId: 1, excludeWindowIds: [10, 77, 10] }));
  assert.deepEqual([without.at(40, 40), without.at(100, 100), d.probe().lastScreenshot.filter.windowIds],
    ['#202020ff', '#0000ffff', [10]]);
});

test('large captures, several at once, decode inside Node; reused band buffers leak nothing', async () => {
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
    // Checker cells from point (900, 650).
    assert.deepEqual([image.at(0, 0), image.at(1800, 1300), image.at(1806, 1300), image.at(2879, 1799)],
      ['#5a7fa8ff', '#f5f5f7ff', '#1e1e1eff', '#5a7fa8ff']);
  }
  assert.ok(Buffer.from(big.rgba).equals(Buffer.from(big3.rgba)));
  for (const image of [win, win2]) {  // premultiplied, as captured
    assert.deepEqual([image.width, image.height, image.at(0, 0), image.at(1399, 999)],
      [1400, 1000, '#80000080', '#80000080']);
  }
  assert.equal(small.at(299, 199), '#101010ff');
});

test('failures reject with their message chain and leave nothing running', async () => {
  d.setWorld(desktop({ screenshot: { error: 'Stream failed' } }));
  assert.deepEqual(await later(d.captureDisplay({ displayId: 1 })),
    failure('Screenshot capture failed: Screenshot capture failed: Screenshot error: Stream failed'));
  assert.deepEqual(await later(d.captureWindow(4000000000)), failure('Window 4000000000 not found in ScreenCaptureKit'));
  await assertSettled();
});

test('one screenshot at a time, in the order the captures began; a capture failing before its screenshot holds none back', async () => {
  // Enough workers for every capture at once, each call made once the one
  // before has begun (its content fetched), so that the turns are drawn in call
  // order; every screenshot is charged for each other in flight as it starts.
  const source = `
    const d = require('./testing.js');
    const { decodePng } = require('./test/js/helpers/png');
    const backgrounds = ['#110000', '#002200', '#000033', '#444400'];
    d.setWorld({ screen: {
      displays: backgrounds.map((background, i) => ({ id: i + 1, bounds: { x: i * 100, y: 0, width: 80, height: 60 }, background })),
      windows: [{ id: 9, frame: { x: 10, y: 10, width: 20, height: 20 }, fill: '#ff00ff' }],
      screenshot: { delayMs: 150, overlapPenaltyMs: 1000 },
    } });
    const begun = async (n) => { while (d.probe().contentFetches < n) await new Promise(setImmediate); };
    (async () => {
      const starts = [() => d.captureDisplay({ displayId: 1 }), () => d.captureDisplay({ displayId: 2 }),
        () => d.captureDisplay({ displayId: 77 }), () => d.captureWindow(9),
        () => d.captureDisplay({ displayId: 3 }), () => d.captureDisplay({ displayId: 4 })];
      const calls = [];
      for (const start of starts) {
        calls.push(start().then((shot) => { const png = decodePng(shot.buffer); return png.at(png.width - 1, png.height - 1); },
          (e) => e.message));
        await begun(calls.length);
      }
      const answers = await Promise.all(calls);
      const { maxScreenshotsInFlight, overlapPenaltyMs, screenshotOrder } = d.probe();
      console.log(JSON.stringify({ answers, maxScreenshotsInFlight, overlapPenaltyMs, screenshotOrder }));
    })();`;
  const run = await runNodeAsync(source, { env: { TOKIO_WORKER_THREADS: '6' }, timeout: 30000 });
  assert.equal(run.status, 0, run.stderr);
  assert.deepEqual(JSON.parse(run.stdout), {
    answers: ['#110000ff', '#002200ff', 'Display 77 not found in ScreenCaptureKit', '#ff00ffff', '#000033ff', '#444400ff'],
    maxScreenshotsInFlight: 1,
    overlapPenaltyMs: 0,
    screenshotOrder: [1, 2, 9, 3, 4],
  });
});
