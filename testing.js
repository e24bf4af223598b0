'use strict';
// The same exports over the scriptable fake world named by the
// DESKCAP_FAKE_WORLD environment variable (read once, at load). See docs/fake-world.md.
module.exports = require('./lib/binding.js').load('deskcap_testing');
