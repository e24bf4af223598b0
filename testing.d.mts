// Types of the ESM entry of deskcap/testing.
import * as testing from './testing.js';

export * from './testing.js';
export default testing;
