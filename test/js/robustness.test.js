'use strict';
// The host process survives what callers and hosts do to it: ending with work
// in flight, Worker environments coming and going, arguments of every shape,
// and C++ exceptions inside a callback. Short runs of test/soak's checks.
const test = require('node:test');
const assert = require('node:assert/strict');
const { ENDINGS, exitRuns } = require('../soak/exits');

test('ending the process with captures in flight ends it cleanly', async () => {
  // A crash here is a race with exit(); 15 runs per ending catch one that hits a
  // quarter of the runs (as a static destroyed under the pool did) all but surely.
  for (const ending of Object.keys(ENDINGS)) {
    const failures = await exitRuns(ending, 15);
    assert.deepEqual(failures, [], `${ending}: ${failures.length} of 15 runs failed`);
  }
});
