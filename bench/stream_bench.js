'use strict';
// Streams on a real X server (bench/x11_bench.sh starts a 2880x1800 Xvfb and
// keeps redrawing part of it), processor time of the whole process:
//   stream 1280 jpeg 10 fps cpu: a 10 fps stream of 1280-wide JPEGs for 10 s,
//     as a share of one core;
//   stream vs still captures, same frames: that stream's processor time
//     against captureDisplay with the same options, as many times as the
//     stream delivered frames, at the same pace.
// Usage: node bench/stream_bench.js <build dir>
const path = require('path');

process.env.DESKCAP_BUILD_DIR = path.resolve(process.argv[2]);
const d = require(path.join(__dirname, '..', 'index.js'));

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const cpuMs = () => {
  const used = process.cpuUsage();
  return (used.user + used.system) / 1000;
};
const SECONDS = 10;
const FPS = 10;

async function main() {
  const [display] = await d.getDisplays();
  const options = { displayId: display.id, format: 'jpeg', quality: 80, maxWidth: 1280 };
  await d.captureDisplay(options);  // warm: the connection, the encoder, the shared memory

  let cpu = cpuMs();
  let wall = Date.now();
  const stream = d.startCapture({ ...options, fps: FPS });
  let frames = 0;
  stream.on('frame', () => frames++);
  await sleep(SECONDS * 1000);
  await stream.stop();
  const streamCpu = cpuMs() - cpu;
  const streamWall = Date.now() - wall;
  const stats = stream.stats();

  cpu = cpuMs();
  wall = Date.now();
  for (let i = 0; i < frames; i++) {
    await d.captureDisplay(options);
    const due = wall + ((i + 1) * 1000) / FPS;
    if (due > Date.now()) await sleep(due - Date.now());
  }
  const stillCpu = cpuMs() - cpu;

  console.log(`stream ${display.width}x${display.height} -> jpeg 1280 at ${FPS} fps for ${SECONDS} s: ` +
    `${stats.produced} frames produced, ${stats.delivered} delivered, ${stats.dropped} dropped; ` +
    `cpu ${streamCpu.toFixed(0)} ms, ${frames} still captures ${stillCpu.toFixed(0)} ms`);
  console.log(`stream 1280 jpeg 10 fps cpu: ${((100 * streamCpu) / streamWall).toFixed(1)} %`);
  console.log(`stream vs still captures, same frames: ${(streamCpu / stillCpu).toFixed(2)}`);
}

main().catch((e) => {
  console.error(e);
  process.exitCode = 1;
});
