'use strict';
// The product: the addon built against the real platform, or on a platform it
// does not serve, the same exports answering code "UnsupportedPlatform".
const platform = require('./lib/platform.js');

const { withWatch } = require('./lib/watch.js');
const { withStreams } = require('./lib/stream.js');

module.exports = platform.supported() ? withStreams(withWatch(require('./lib/binding.js').load('deskcap')))
  : platform.unsupportedExports();
