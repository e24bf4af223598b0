'use strict';
// The same thirteen exports over the scriptable fake world named by the
// DESKCAP_FAKE_WORLD environment variable (read once, at load). See docs/fake-world.md.
const path = require('path');
const dir = process.env.DESKCAP_BUILD_DIR
  ? path.resolve(__dirname, process.env.DESKCAP_BUILD_DIR)
  : path.join(__dirname, 'build');
module.exports = require(path.join(dir, 'deskcap_testing.node'));
