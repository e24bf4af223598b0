/* The C boundary between the addon frame and the native service layer.
 * Plain arguments and results only: no exception, no framework object and no
 * callback crosses it. Every returned char* and every block stored through an
 * out-pointer is malloc'ed, owned by the caller and handed back through
 * native_free(); NULL means "no result" and never carries an error text. */
#ifndef DESKCAP_NATIVE_H
#define DESKCAP_NATIVE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Phone-capture log: one printf-style entry, also written to stderr as "KR_IOS %s\n". */
void ios_log(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
/* Drains the log: the entries joined by "\n"; NULL only when no copy could be made. */
char *ios_take_log(void);

/* Apple USB devices attached (vendor 0x05AC). */
uint32_t count_usb_apple_devices(void);
/* Enables screen-capture devices, scans once and starts the device watch. */
void ios_prewarm_capture(void);
/* JSON array of {uniqueId,name,modelId,width,height}; NULL when not enumerable. */
char *ios_list_devices(void);
/* ios_capture_device's answers: a failure's number says which step failed. */
enum IosCaptureStatus {
  IOS_CAPTURE_OK = 0,
  IOS_CAPTURE_ENABLE_FAILED = 1,
  IOS_CAPTURE_DEVICE_MISSING = 2,
  IOS_CAPTURE_OPEN_FAILED = 3,
  IOS_CAPTURE_INPUT_REJECTED = 4,
  IOS_CAPTURE_OUTPUT_REJECTED = 5,
  IOS_CAPTURE_NO_FRAMES = 6,
  IOS_CAPTURE_ENCODE_FAILED = 7,
  IOS_CAPTURE_OUT_OF_MEMORY = 8,
  IOS_CAPTURE_CAMERA_REFUSED = 9
};
/* One PNG frame of a connected device; IOS_CAPTURE_OK, else a status with *out_error. */
int32_t ios_capture_device(const char *unique_id, uint8_t **out_png, size_t *out_len,
                           uint32_t *out_width, uint32_t *out_height, char **out_error);

/* JSON array of {pid,bundleId}; NULL when the process list cannot be read. */
char *microphone_apps_json(void);
/* JSON {x,y,width,height} of the app's frontmost sizeable window; NULL when none. */
char *app_window_bounds(const char *bundle_id);
/* JSON {width,height} of the first notch; NULL when no screen has one. */
char *notch_size(void);
/* TCCAccessPreflight code; -1 when the framework or the function is unavailable. */
int64_t system_audio_access_status(void);
/* 1 granted, 0 not granted, -1 unavailable. Blocks until the user answered. */
int64_t request_audio_capture_access(void);

/* Releases anything handed out above; NULL is ignored. */
void native_free(void *pointer);

#ifdef __cplusplus
}
#endif

#endif /* DESKCAP_NATIVE_H */
