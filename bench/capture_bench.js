'use strict';
// The capture path and the Promise frame, measured in one process against
// yardsticks of the same run (bench/bench_addon.cc):
//   capture vs encode: a 2880x1800 captureDisplay through the testing addon,
//     the fake's own painting subtracted (probe() reports it), against the
//     encoder alone on the same pixels;
//   promise vs bare tsfn: getDisplays (work on a scheduler worker) against
//     the barest Promise round trip, one at a time and 100 in flight; the
//     same for usbAppleDeviceCount (a blocking thread per call) and for
//     getDisplays of no display (the frame without a result to build), for
//     reference;
//   peak rss: 8 concurrent 5120x2880 captures, in a child of its own, above
//     that child's idle size;
//   idle cpu: the processor time (every thread of the process) a child of its
//     own spends in the 10 s after a burst of 1000 calls, with nothing else
//     to do: what an idle desktop app pays for having used the library.
// Usage: node bench/capture_bench.js <build dir>
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

const root = path.join(__dirname, '..');
const build = path.resolve(process.argv[2] || path.join(root, 'build-bench'));
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-bench-'));

const median = (values) => {
  const v = [...values].sort((a, b) => a - b);
  const n = v.length;
  return n % 2 ? v[(n - 1) / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
};
const now = () => Number(process.hrtime.bigint()) / 1e6;

// A desktop of patterned windows: a display of `w` x `h` points at 2x.
function world(w, h) {
  const windows = [];
  for (let i = 0; i < 6; i++) {
    windows.push({
      id: 10 + i, pid: 500, fill: ['#f5f5f7', '#1e1e1e', '#ffffff', '#3478f6', '#fafafa', '#2d2d2d'][i],
      frame: { x: 40 + i * 110, y: 30 + i * 70, width: w * 0.45, height: h * 0.5 },
      pattern: i % 2 ? { kind: 'stripes', color: '#c8c8cc', size: 3 + i } : { kind: 'checker', color: '#dcdce0', size: 2 + i },
    });
  }
  return { screen: {
    displays: [{ id: 1, main: true, bounds: { x: 0, y: 0, width: w, height: h }, mode: { pixelWidth: 2 * w, width: w },
                 background: '#5a7fa8' }],
    windows,
  } };
}

// RGBA pixels of a PNG, unfiltered here (every filter type).
function pixelsOf(png) {
  let at = 8, width = 0, height = 0;
  const idat = [];
  while (at < png.length) {
    const length = png.readUInt32BE(at), type = png.toString('latin1', at + 4, at + 8);
    if (type === 'IHDR') width = png.readUInt32BE(at + 8), height = png.readUInt32BE(at + 12);
    if (type === 'IDAT') idat.push(png.subarray(at + 8, at + 8 + length));
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat)), stride = width * 4;
  const out = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const type = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; i++) {
      const left = i >= 4 ? out[y * stride + i - 4] : 0, up = y > 0 ? out[(y - 1) * stride + i] : 0;
      const upLeft = i >= 4 && y > 0 ? out[(y - 1) * stride + i - 4] : 0;
      let predicted = 0;
      if (type === 1) predicted = left;
      else if (type === 2) predicted = up;
      else if (type === 3) predicted = (left + up) >> 1;
      else if (type === 4) {
        const p = left + up - upLeft, pa = Math.abs(p - left), pb = Math.abs(p - up), pc = Math.abs(p - upLeft);
        predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
      }
      out[y * stride + i] = (line[i] + predicted) & 255;
    }
  }
  return { width, height, pixels: out };
}

function rssChild() {
  const source = `
    const status = () => Object.fromEntries(require('fs').readFileSync('/proc/self/status', 'utf8')
      .split('\\n').filter((l) => l.startsWith('Vm')).map((l) => [l.split(':')[0], parseInt(l.split(':')[1], 10)]));
    const d = require(${JSON.stringify(path.join(root, 'testing.js'))});
    (async () => {
      await d.getDisplays();
      const idle = status().VmRSS;
      await Promise.all(Array.from({ length: 8 }, () => d.captureDisplay({ displayId: 1 })));
      console.log(JSON.stringify({ idle, peak: status().VmHWM }));
    })();`;
  const file = path.join(dir, 'world5k.json');
  fs.writeFileSync(file, JSON.stringify(world(2560, 1440)));
  const r = spawnSync(process.execPath, ['-e', source], {
    encoding: 'utf8', env: { ...process.env, DESKCAP_FAKE_WORLD: file, DESKCAP_BUILD_DIR: build },
  });
  if (r.status !== 0) throw new Error(`rss child failed: ${r.stderr}`);
  return JSON.parse(r.stdout.trim().split('\n').pop());
}

function idleCpuChild() {
  const source = `
    const d = require(${JSON.stringify(path.join(root, 'testing.js'))});
    const spent = () => { const u = process.cpuUsage(); return (u.user + u.system) / 1000; };
    (async () => {
      // Scheduler work, blocking calls and a few captures, 50 in flight at a time.
      for (let i = 0; i < 1000; i += 50) {
        await Promise.all(Array.from({ length: 50 }, (_, j) => {
          const n = i + j;
          if (n % 100 === 0) return d.captureDisplay({ displayId: 1 });
          return n % 4 === 0 ? d.usbAppleDeviceCount() : d.getDisplays();
        }));
      }
      const before = spent();
      await new Promise((resolve) => setTimeout(resolve, 10000));
      console.log(JSON.stringify({ ms: spent() - before }));
    })();`;
  const file = path.join(dir, 'world-idle.json');
  fs.writeFileSync(file, JSON.stringify(world(1440, 900)));
  const r = spawnSync(process.execPath, ['-e', source], {
    encoding: 'utf8', env: { ...process.env, DESKCAP_FAKE_WORLD: file, DESKCAP_BUILD_DIR: build },
  });
  if (r.status !== 0) throw new Error(`idle cpu child failed: ${r.stderr}`);
  return JSON.parse(r.stdout.trim().split('\n').pop()).ms;
}

async function main() {
  process.env.DESKCAP_BUILD_DIR = build;
  const d = require(path.join(root, 'testing.js'));
  d.setWorld(world(1440, 900));
  const yardstick = require(path.join(build, 'bench_addon.node'));
  const runs = Number(process.env.BENCH_RUNS || 25);

  // The Promise frame first: right after the captures below, the collection
  // of their buffers runs on the same two vCPUs and swamps the figures.
  const perCall = async (fn, inFlight, rounds) => {
    const start = now();
    for (let r = 0; r < rounds; r++) await Promise.all(Array.from({ length: inFlight }, fn));
    return (now() - start) / (rounds * inFlight);
  };
  // Ratios, and the microseconds a call of each side (this VM's bare round
  // trip runs at one of two speeds from one process to the next).
  const promiseRatios = async (product) => {
    const ratios = { 1: [], 100: [] }, us = { 1: [[], []], 100: [[], []] };
    const bare = () => yardstick.bare();
    for (const inFlight of [1, 100]) {
      // Thousands of calls a sample: short samples measure the scheduler more than the calls.
      const rounds = inFlight === 1 ? 2000 : 40;
      await perCall(product, inFlight, rounds);  // warm: threads started, channels made
      await perCall(bare, inFlight, rounds);
      for (let i = 0; i < 9; i++) {
        const mine = await perCall(product, inFlight, rounds), theirs = await perCall(bare, inFlight, rounds);
        ratios[inFlight].push(mine / theirs);
        us[inFlight][0].push(mine * 1000);
        us[inFlight][1].push(theirs * 1000);
      }
    }
    const each = (n) => `${median(us[n][0]).toFixed(2)} us vs ${median(us[n][1]).toFixed(2)} us`;
    return { 1: median(ratios[1]), 100: median(ratios[100]), us: `${each(1)} one at a time, ${each(100)} with 100 in flight` };
  };
  const ratios = await promiseRatios(() => d.getDisplays());
  const blocking = await promiseRatios(() => d.usbAppleDeviceCount());

  const painted = () => d.probe().paintMs;
  const first = await d.captureDisplay({ displayId: 1 });
  const { width, height, pixels } = pixelsOf(first.buffer);
  const capture = [], encode = [];
  for (let i = 0; i < runs; i++) {
    const before = painted();
    let start = now();
    await d.captureDisplay({ displayId: 1 });
    capture.push(now() - start - (painted() - before));
    start = now();
    yardstick.encode(pixels, width, height);
    encode.push(now() - start);
  }

  // The frame alone: no display to describe, so no result object to build.
  d.setWorld({ screen: { displays: [] } });
  const frame = await promiseRatios(() => d.getDisplays());
  d.setWorld(world(1440, 900));

  const rss = rssChild();
  const idleCpu = idleCpuChild();
  console.log(`capture ${width}x${height}: ${median(capture).toFixed(1)} ms without the fake's painting; `
    + `encode alone ${median(encode).toFixed(1)} ms (zlib inside Node: ${process.versions.zlib}); `
    + `rss idle ${(rss.idle / 1024).toFixed(0)} MB, peak ${(rss.peak / 1024).toFixed(0)} MB; load ${os.loadavg()[0].toFixed(2)}`);
  console.log(`usbAppleDeviceCount vs bare tsfn (blocking pool): ${blocking[1].toFixed(2)} one at a time, `
    + `${blocking[100].toFixed(2)} with 100 in flight`);
  console.log(`promise frame alone (getDisplays of no display) vs bare tsfn: ${frame[1].toFixed(2)} one at a time, `
    + `${frame[100].toFixed(2)} with 100 in flight`);
  console.log(`getDisplays a call vs bare tsfn: ${ratios.us}`);
  // Each capture against the encode made right after it: the VM's speed drifts within a run.
  console.log(`capture vs encode: ${median(capture.map((c, i) => c / encode[i])).toFixed(2)}`);
  console.log(`promise vs bare tsfn, 1 in flight: ${ratios[1].toFixed(2)}`);
  console.log(`promise vs bare tsfn, 100 in flight: ${ratios[100].toFixed(2)}`);
  console.log(`peak rss, 8 concurrent 5120x2880 captures: ${Math.round((rss.peak - rss.idle) / 1024)} MB`);
  console.log(`idle cpu after 1000 calls: ${idleCpu.toFixed(1)} ms`);
  fs.rmSync(dir, { recursive: true, force: true });
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
