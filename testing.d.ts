// deskcap/testing: the exports of deskcap over a scriptable fake
// macOS, plus setWorld, changeWorld and probe. Every field of a world: docs/fake-world.md.
// On a platform other than macOS and Linux, loading it throws (code "UnsupportedPlatform").
export * from './index.js';

/** A fake world: a JSON object (docs/fake-world.md). Unknown fields are errors unless `lenient` is true. */
export interface FakeWorld {
  /** Read forgivingly: unknown or mistyped fields take their defaults instead of failing. */
  lenient?: boolean;
  /** Multiplies every delay, sleep and time limit of the world. */
  timeScale?: number;
  allocation?: { failSizes?: number[]; failAbove?: number };
  /** The one desktop: applications, windows and displays that captures, window bounds and the notch all read. */
  applications?: Array<{ pid: number; bundleId?: string | null; name?: string }>;
  windows?: Array<Record<string, unknown>>;
  displays?: Array<Record<string, unknown>>;
  screen?: Record<string, unknown>;
  phone?: Record<string, unknown>;
  desktop?: Record<string, unknown>;
  tcc?: { library?: string };
}

export interface ScreenshotRequest {
  filter: {
    kind: 'desktopIndependentWindow' | 'displayExcludingWindows';
    displayId?: number;
    windowId?: number;
    windowIds: number[];
  };
  configuration: {
    width: number;
    height: number;
    showsCursor: boolean;
    /** Points from the display's top-left; present only when one was set. */
    sourceRect?: { x: number; y: number; width: number; height: number };
  };
}

/** The current world's counters; cumulative ones start at 0 with each world. */
export interface Probe {
  /** Framework objects that calls made and still hold (not the world's own devices nor the device watch's session). */
  objectsAlive: number;
  objectsAliveByKind: Record<string, number>;
  /** Promises whose work has not settled them yet. */
  callsInFlight: number;
  contentFetches: number;
  screenshotsStarted: number;
  screenshotsFinished: number;
  screenshotsInFlight: number;
  maxScreenshotsInFlight: number;
  /** Milliseconds the fake spent painting screenshots: a benchmark subtracts them. */
  paintMs: number;
  lastScreenshot: ScreenshotRequest | null;
  /** Writes of CoreMediaIO's "allow screen capture devices" property. */
  propertyWrites: number;
  /** Camera permission prompts (requestAccessForMediaType:) shown. */
  cameraPrompts: number;
  sessionsCreated: number;
  sessionsRunning: number;
  /** World milliseconds (before timeScale) added to screenshots for the others in flight as each started. */
  overlapPenaltyMs: number;
  /** The display or window id of each of the last 64 screenshot requests, oldest first. */
  screenshotOrder: number[];
  /** Watchers of this process with a native subscription (all environments). */
  watchers: number;
  /** The kinds whose native observer runs now. */
  watchObserving: Array<'displays' | 'iosDevices' | 'microphoneApps' | 'screenCaptureAccess'>;
  /** Display reconfiguration callbacks registered now. */
  displayCallbacks: number;
  /** CoreAudio property listeners registered now. */
  audioListeners: number;
  /** Capture streams the framework runs now (started, and stopped neither by the caller nor the system). */
  streamsRunning: number;
  /** Frames of all streams produced and neither taken nor dropped yet. */
  streamFramesInFlight: number;
}

/**
 * Installs a world (an object, or the path of a JSON file) and starts the
 * process afresh: the previous world's phone state, device watch, TCC library,
 * log and counters are dropped. Throws (code "InvalidArg") for a world that is
 * refused, naming the field's path, and (code "GenericFailure") while a call of
 * the previous world is still in flight: await it first.
 */
export function setWorld(world: FakeWorld | string): void;

/**
 * Changes part of the current world without a fresh start: `patch` is merged
 * into it (objects merge, any other value, a list included, replaces; null
 * removes), and the change is reported as a Mac reports it: watchers see the
 * displays, phones and microphone apps that changed. Throws (code
 * "InvalidArg") and keeps the world when the result is refused.
 */
export function changeWorld(patch: FakeWorld | string): void;

/** The current world's counters. */
export function probe(): Probe;
