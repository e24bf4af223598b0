'use strict';
// The addon's exports, as README.md's table orders them: true for those
// that answer synchronously, false for those that return a Promise. A test
// holds this equal to the built addon.
module.exports = Object.freeze({
  getDisplays: false,
  captureDisplay: false,
  captureWindow: false,
  takeIosLog: false,
  listIosDevices: false,
  usbAppleDeviceCount: false,
  captureIosDevice: false,
  prewarmIosCapture: false,
  getAppWindowBounds: true,
  getNotchSize: true,
  listMicrophoneApps: false,
  getSystemAudioAccess: true,
  requestSystemAudioAccess: false,
  listWindows: false,
  getScreenCaptureAccess: true,
  requestScreenCaptureAccess: false,
  watch: true,
  startCapture: true,
});
