'use strict';
// Where deskcap runs, and what it answers elsewhere: the package installs on
// every platform so that a cross-platform app can depend on it and find out
// at run time, from each call's error, that this one is not served.
const EXPORTS = require('./exports.js');

const SUPPORTED = ['darwin', 'linux'];
const TARGET = `${process.platform}-${process.arch}`;

const supported = () => SUPPORTED.includes(process.platform);

// `from` is left out of the stack, which then starts at its caller.
function unsupportedError(what = 'deskcap', from = unsupportedError) {
  const error = new Error(`${what} does not support ${TARGET}: it runs on macOS (and Linux)`);
  error.code = 'UnsupportedPlatform';
  Error.captureStackTrace(error, from);
  return error;
}

// The exports' stand-ins: the synchronous ones throw, the others reject, as
// the addon does for a failure of the work. A fresh Error per call, so that
// its stack shows the caller.
function unsupportedExports() {
  const out = {};
  for (const [name, sync] of Object.entries(EXPORTS)) {
    const fn = sync ? () => { throw unsupportedError('deskcap', fn); }
      : () => Promise.reject(unsupportedError('deskcap', fn));
    out[name] = Object.defineProperty(fn, 'name', { value: name });
  }
  return out;
}

module.exports = { SUPPORTED, supported, unsupportedError, unsupportedExports };
