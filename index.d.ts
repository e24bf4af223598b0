/// <reference types="node" />
import { EventEmitter } from 'events';
// deskcap: screen, window, display, connected-phone and desktop-context capture
// for Node.js and Electron on macOS. Argument errors throw at once; failures of
// the work reject with an Error whose `code` names its status (for example
// "GenericFailure", "InvalidArg", "NumberExpected"). On a platform other than
// macOS and Linux every export answers code "UnsupportedPlatform": the
// synchronous ones throw it, the others reject with it.

export interface DeskcapError extends Error {
  /**
   * Status name: "GenericFailure" for failures of the work, the conversion's status for argument
   * errors, "UnsupportedPlatform" for every call on a platform other than macOS and Linux.
   */
  code: string;
  /**
   * Present only when a refused permission caused the failure: "screen-recording"
   * on `captureDisplay`/`captureWindow` rejections while Screen Recording is not
   * granted, "camera" on `captureIosDevice` rejections for refused camera access.
   */
  permission?: 'screen-recording' | 'camera';
  /**
   * Present only when the system cannot make the capture at all: "wayland-session"
   * on `captureDisplay` rejections in a Wayland session on Linux.
   */
  unsupported?: 'wayland-session';
}

export interface DisplayInfo {
  /** CGDirectDisplayID; what `captureDisplay` takes as `displayId`. */
  id: number;
  /** "Display " followed by the id. */
  name: string;
  /** Origin in the global desktop space, in points (may be negative). */
  x: number;
  y: number;
  /** Size in points. */
  width: number;
  height: number;
  /** Pixels per point of the current mode (1 when unknown). */
  scaleFactor: number;
  isPrimary: boolean;
}

export interface CropBounds {
  /** Points, relative to the display's top-left corner. */
  x: number;
  y: number;
  width: number;
  height: number;
}

export interface CaptureOptions {
  displayId: number;
  /** Window ids (CGWindowID) to leave out of the image; ids of no window are ignored. */
  excludeWindowIds?: number[];
  /**
   * Capture only this rectangle of the display. It is intersected with the
   * display's bounds; the image covers the intersection at the display's scale
   * (pixel sizes truncated like a full capture). A rectangle with no area after
   * the intersection, or a non-finite field, rejects with "GenericFailure".
   * `null` throws; `undefined` means no crop.
   */
  cropBounds?: CropBounds;
}

export interface OutputOptions {
  /** `'png'` (default), `'jpeg'`, or `'raw'`: RGBA, 8 bits a channel, rows top to bottom without padding. */
  format?: 'png' | 'jpeg' | 'raw';
  /** JPEG quality, an integer 1-100 (default 80); ignored for PNG and raw. */
  quality?: number;
  /**
   * Positive integers: the image is scaled down to fit inside both, its aspect
   * kept, never enlarged (after `cropBounds`). The side that limits takes its
   * limit exactly; the other is scaled by the same factor and rounded to the
   * nearest pixel (halves up), at least 1.
   */
  maxWidth?: number;
  maxHeight?: number;
  /** Draw the mouse pointer (default false). */
  showCursor?: boolean;
}

export interface DisplayCaptureOptions extends CaptureOptions, OutputOptions {}

export interface CapturedImage {
  /** A complete PNG file. */
  buffer: Buffer;
  /** Pixel size of the image, equal to the PNG's. */
  width: number;
  height: number;
}

export interface ScreenCapture extends CapturedImage {
  /** What `buffer` holds: a PNG or JPEG file, or raw RGBA pixels (`width * height * 4` bytes). */
  format: 'png' | 'jpeg' | 'raw';
  /**
   * Pixels of the image per point of the captured area (the display's scale
   * factor unless `maxWidth`/`maxHeight` scaled it down): a point (x, y) of the
   * area is at (x * scale, y * scale) in the image.
   */
  scale: number;
}

export interface IosDevice {
  uniqueId: string;
  name: string;
  modelId: string;
  /** Size of the device's active video format, in pixels (0 when unknown). */
  width: number;
  height: number;
}

export interface WindowBounds {
  /** Global desktop coordinates in points, origin at the main display's top-left, y downwards. */
  x: number;
  y: number;
  width: number;
  height: number;
}

export interface NotchSize {
  /** Width of the notch, in points. */
  width: number;
  /** Height of the band it occupies (the top safe-area inset), in points. */
  height: number;
}

export interface MicrophoneApp {
  pid: number;
  /** "" when the process has no bundle identifier. */
  bundleId: string;
}

export interface WindowInfo {
  /** CGWindowID: what `captureWindow` and `excludeWindowIds` take. */
  id: number;
  /** Process id of the owning application. */
  pid: number;
  /** The owner's bundle identifier, or null when it has none. */
  appId: string | null;
  /** The owner's name, or null when the system gives none. */
  appName: string | null;
  /** The window's title; null when the system withholds it (titles need Screen Recording permission). */
  title: string | null;
  /** Bounds in points in the global desktop space, as `getDisplays` uses it. */
  x: number;
  y: number;
  width: number;
  height: number;
  /** Window layer: 0 for ordinary windows, higher for panels, menus, the Dock. */
  layer: number;
  /** The display holding the window's centre, or null when no display does. */
  displayId: number | null;
}

/**
 * From TCC where the system answers it: "not-determined" is never asked yet.
 * Where TCC does not answer, CoreGraphics' yes or no, so "denied" also stands
 * for not asked yet; "unknown" where the system cannot tell.
 */
export type ScreenCaptureAccess = 'granted' | 'denied' | 'not-determined' | 'unknown';

/** The fields of a DisplayInfo that a 'display-changed' event names. */
export type DisplayField = 'x' | 'y' | 'width' | 'height' | 'scaleFactor' | 'isPrimary' | 'name';

/**
 * Changes of the desktop as events. A kind's native observer runs only while
 * some watcher has a listener for it. A watcher never keeps the process alive.
 */
export interface Watcher extends EventEmitter {
  on(event: 'display-added', listener: (display: DisplayInfo) => void): this;
  on(event: 'display-removed', listener: (display: DisplayInfo) => void): this;
  on(event: 'display-changed', listener: (display: DisplayInfo, changed: DisplayField[]) => void): this;
  on(event: 'ios-device-added', listener: (device: IosDevice) => void): this;
  on(event: 'ios-device-removed', listener: (device: IosDevice) => void): this;
  on(event: 'microphone-apps-changed', listener: (apps: MicrophoneApp[]) => void): this;
  on(event: 'screen-capture-access-changed', listener: (access: ScreenCaptureAccess) => void): this;
  once(event: 'display-added', listener: (display: DisplayInfo) => void): this;
  once(event: 'display-removed', listener: (display: DisplayInfo) => void): this;
  once(event: 'display-changed', listener: (display: DisplayInfo, changed: DisplayField[]) => void): this;
  once(event: 'ios-device-added', listener: (device: IosDevice) => void): this;
  once(event: 'ios-device-removed', listener: (device: IosDevice) => void): this;
  once(event: 'microphone-apps-changed', listener: (apps: MicrophoneApp[]) => void): this;
  once(event: 'screen-capture-access-changed', listener: (access: ScreenCaptureAccess) => void): this;
  /** Ends the watcher: no event is emitted after this returns. */
  close(): void;
  /** Whether close() was called. */
  readonly closed: boolean;
}

/** What startCapture() streams and how: exactly one of `displayId` and `windowId`. */
export type StreamOptions = OutputOptions & {
  /** Most frames a second, 1 to 60 (default 10). */
  fps?: number;
  /** Frames held for a slow consumer (default 2); when full, the oldest is dropped. */
  maxQueued?: number;
  /** Frames only when the picture changed (default false: frames at the rate). */
  onlyChanged?: boolean;
} & (
  | { displayId: number; windowId?: undefined; excludeWindowIds?: number[]; cropBounds?: CropBounds }
  | { windowId: number; displayId?: undefined; excludeWindowIds?: undefined; cropBounds?: undefined }
);

export interface StreamFrame extends ScreenCapture {
  /** When its pixels arrived, in milliseconds since the Unix epoch. */
  timestamp: number;
  /** 1, 2, ... in the order frames were produced: a gap is a dropped frame. */
  sequence: number;
}

export interface StreamStats {
  produced: number;
  delivered: number;
  dropped: number;
}

/**
 * A running capture. A frame goes to a waiting `for await` loop if there is
 * one, else to the 'frame' listeners. It keeps the process alive until it
 * ends: 'end' after stop(), 'error' when the system stopped it or it could not
 * start; 'close' comes last either way. An 'error' nobody listens to is not
 * thrown: a loop rejects with it.
 */
export interface CaptureStream extends EventEmitter, AsyncIterable<StreamFrame> {
  on(event: 'frame', listener: (frame: StreamFrame) => void): this;
  on(event: 'error', listener: (error: Error) => void): this;
  on(event: 'end' | 'close', listener: () => void): this;
  once(event: 'frame', listener: (frame: StreamFrame) => void): this;
  once(event: 'error', listener: (error: Error) => void): this;
  once(event: 'end' | 'close', listener: () => void): this;
  /** Resolves once the native stream has stopped and every frame not taken is freed. */
  stop(): Promise<void>;
  stats(): StreamStats;
  [Symbol.asyncIterator](): AsyncIterableIterator<StreamFrame>;
}

export type SystemAudioAccess = 'granted' | 'denied' | 'not-determined' | 'unknown';

/** The active displays. Needs no Screen Recording permission. */
export function getDisplays(): Promise<DisplayInfo[]>;
/** A screenshot of one display (PNG unless `format` says otherwise), with the listed windows left out. */
export function captureDisplay(options: DisplayCaptureOptions): Promise<ScreenCapture>;
/** A screenshot of one window alone, whatever covers it (PNG unless `format` says otherwise). */
export function captureWindow(windowId: number, options?: OutputOptions | null): Promise<ScreenCapture>;
/** Drains the connected-phone diagnostic log, oldest line first. */
export function takeIosLog(): Promise<string[]>;
/** The iPhones and iPads available as screen-capture devices (waits up to about 3 s for them to appear). */
export function listIosDevices(): Promise<IosDevice[]>;
/** The number of Apple USB devices attached, capture devices or not. */
export function usbAppleDeviceCount(): Promise<number>;
/** One still PNG frame of a connected device's screen. May ask for camera access. */
export function captureIosDevice(uniqueId: string): Promise<CapturedImage>;
/** Enables screen-capture devices and starts watching for them, ahead of a listing or capture. */
export function prewarmIosCapture(): Promise<void>;
/** Bounds of the application's frontmost on-screen window of at least 200 x 150 points, or null. */
export function getAppWindowBounds(bundleId: string): WindowBounds | null;
/** The notch of the first display that has one, or null. */
export function getNotchSize(): NotchSize | null;
/** Processes running audio input right now, or null when the list cannot be read. */
export function listMicrophoneApps(): Promise<MicrophoneApp[] | null>;
/** The system-audio capture permission. */
export function getSystemAudioAccess(): SystemAudioAccess;
/** Asks for the system-audio capture permission; null when it cannot be asked. */
export function requestSystemAudioAccess(): Promise<boolean | null>;
/** The on-screen windows, front to back, desktop elements left out. */
export function listWindows(): Promise<WindowInfo[]>;
/** The Screen Recording permission, as the system reports it without asking the user. */
export function getScreenCaptureAccess(): ScreenCaptureAccess;
/**
 * Asks for Screen Recording permission (the system prompt shows once per app).
 * Resolves true when granted already; a grant made now takes effect after the
 * host application restarts.
 */
export function requestScreenCaptureAccess(): Promise<boolean>;
/** A new watcher of the displays, phones, microphone apps and the Screen Recording permission. */
export function watch(): Watcher;
/** Frames of a display or a window at a chosen rate, until stop(). */
export function startCapture(options: StreamOptions): CaptureStream;
