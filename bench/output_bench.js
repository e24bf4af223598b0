'use strict';
// The output formats on a real X server (bench/x11_bench.sh starts a 2880x1800
// Xvfb and paints a desktop-like picture on it), processor time of the whole
// process (every thread, sharp's and the encoder's included), runs interleaved:
//   jpeg 1280 vs png+sharp pipeline: a full-size PNG capture decoded, resized
//     to 1280 wide and encoded as JPEG 80 by sharp, against
//     captureDisplay({format: 'jpeg', quality: 80, maxWidth: 1280});
//   raw vs png capture: captureDisplay({format: 'raw'}) against the PNG capture.
// Usage: node bench/output_bench.js <build dir> [runs]
const path = require('path');

process.env.DESKCAP_BUILD_DIR = path.resolve(process.argv[2]);
const runs = Number(process.argv[3] || 9);
const d = require(path.join(__dirname, '..', 'index.js'));

const median = (v) => [...v].sort((a, b) => a - b)[v.length >> 1];
const cpuMs = async (fn) => {
  const start = process.cpuUsage();
  await fn();
  const used = process.cpuUsage(start);
  return (used.user + used.system) / 1000;
};

async function main() {
  let sharp = null;
  try {
    sharp = require('sharp');
  } catch (e) {
    console.log(`jpeg 1280 vs png+sharp pipeline: skipped (sharp does not load here: ${e.message.split('\n')[0]})`);
  }
  const [display] = await d.getDisplays();
  const id = display.id;
  const png = () => d.captureDisplay({ displayId: id });
  const raw = () => d.captureDisplay({ displayId: id, format: 'raw' });
  const jpeg = () => d.captureDisplay({ displayId: id, format: 'jpeg', quality: 80, maxWidth: 1280 });
  const pipeline = async () => {
    const shot = await png();
    return sharp(shot.buffer).resize({ width: 1280 }).jpeg({ quality: 80 }).toBuffer();
  };
  // Two sets, each interleaved: libvips' own threads finish their work after
  // sharp resolves, and would be charged to whatever ran next.
  const measure = async (sides) => {
    for (const fn of Object.values(sides)) await fn();  // warm: threads, libraries, buffers
    const times = Object.fromEntries(Object.keys(sides).map((k) => [k, []]));
    for (let i = 0; i < runs; i++) {
      for (const [name, fn] of Object.entries(sides)) times[name].push(await cpuMs(fn));
    }
    return times;
  };
  const first = await jpeg();
  const times = { ...(await measure({ png, raw })), ...(sharp && (await measure({ jpeg, pipeline }))) };
  if (!sharp) times.jpeg = (await measure({ jpeg })).jpeg;
  const m = Object.fromEntries(Object.entries(times).map(([k, v]) => [k, median(v)]));
  console.log(`output ${display.width}x${display.height}: cpu per capture png ${m.png.toFixed(1)} ms, raw ${m.raw.toFixed(1)} ms, `
    + `jpeg ${first.width}x${first.height} ${m.jpeg.toFixed(1)} ms`
    + (sharp ? `, png+sharp pipeline ${m.pipeline.toFixed(1)} ms (sharp ${sharp.versions.sharp}, libvips ${sharp.versions.vips})` : '')
    + ` (median of ${runs})`);
  if (sharp) console.log(`jpeg 1280 vs png+sharp pipeline: ${(m.pipeline / m.jpeg).toFixed(2)}`);
  console.log(`raw vs png capture: ${(m.raw / m.png).toFixed(2)}`);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
