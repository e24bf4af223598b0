// Types of the ESM entry: the same declarations as index.d.ts, and the whole
// module as the default export.
import * as deskcap from './index.js';

export * from './index.js';
export default deskcap;
