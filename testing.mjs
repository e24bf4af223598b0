// ESM entry of deskcap/testing: the CommonJS module's exports, default and named.
import testing from './testing.js';

export default testing;
export const {
  getDisplays, captureDisplay, captureWindow, takeIosLog, listIosDevices, usbAppleDeviceCount,
  captureIosDevice, prewarmIosCapture, getAppWindowBounds, getNotchSize, listMicrophoneApps,
  getSystemAudioAccess, requestSystemAudioAccess, listWindows, getScreenCaptureAccess,
  requestScreenCaptureAccess, watch, startCapture, setWorld, changeWorld, probe,
} = testing;
