// ESM entry of the product: the CommonJS module's exports, default and named.
import deskcap from './index.js';

export default deskcap;
export const {
  getDisplays, captureDisplay, captureWindow, takeIosLog, listIosDevices, usbAppleDeviceCount,
  captureIosDevice, prewarmIosCapture, getAppWindowBounds, getNotchSize, listMicrophoneApps,
  getSystemAudioAccess, requestSystemAudioAccess, listWindows, getScreenCaptureAccess,
  requestScreenCaptureAccess, watch, startCapture,
} = deskcap;
