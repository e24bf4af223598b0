'use strict';
// node test/soak/run.js [--calls 10000 per addon] [--cycles 1000 Workers] [--exits 100 per ending]
//   [--watch-minutes 10 of random changes] [--watch-cycles 1000 watchers across Workers]
//   [--stream-minutes 10 of streams started, consumed and stopped] [--seed N]
// One line per check, "name: N runs, N failures", and the first notes of a failure; exits 1 then.
const { fuzzArguments } = require('./argument_fuzz');
const { churnWorkers } = require('./worker_churn');
const { ENDINGS, exitRuns } = require('./exits');
const { randomChanges, watchCycles } = require('./watch_soak');
const { streamRuns } = require('./stream_soak');

const option = (name, fallback) => (process.argv.includes(`--${name}`)
  ? Number(process.argv[process.argv.indexOf(`--${name}`) + 1]) : fallback);

(async () => {
  const [calls, cycles, exits, seed] = [option('calls', 10000), option('cycles', 1000), option('exits', 100),
    option('seed', Date.now() >>> 0)];
  console.log(`soak: seed ${seed}`);
  let failed = false;
  const report = (name, { runs, failures, notes }) => {
    console.log(`${name}: ${runs} runs, ${failures} failures`);
    for (const note of notes.slice(0, 3)) console.error(`  ${note.replace(/\n/g, '\n  ')}`);
    if (failures) failed = true;
  };
  const children = Math.max(1, Math.ceil(calls / 1000));
  for (const [name, addon] of [['deskcap', 'index.js'], ['deskcap/testing', 'testing.js']])
    report(`argument fuzz (${name})`, await fuzzArguments(addon, { children, calls: Math.ceil(calls / children), seed }));
  report('worker churn', await churnWorkers(cycles));
  // A child per minute, so that a crash costs one minute's run.
  report('watch random changes (minutes)', await randomChanges(option('watch-minutes', 10), 60000, seed));
  report('watch open/close across Workers', await watchCycles(option('watch-cycles', 1000)));
  report('streams at random (minutes)', await streamRuns(option('stream-minutes', 10), 60000, seed));
  for (const ending of Object.keys(ENDINGS)) {
    const notes = await exitRuns(ending, exits);
    report(`exit with work in flight (${ending})`, { runs: exits, failures: notes.length, notes });
  }
  process.exitCode = failed ? 1 : 0;
})();
