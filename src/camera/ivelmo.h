#pragma once

/* libivelmo: single frames from a V4L2 camera, stored as image files or copied into the
   caller's memory. One device at a time, used from one thread.

   Order of use: open_device, init_device, start_capturing, then any number of
   getfile_capturing or get_capturing, then stop_capturing, uninit_device, close_device.

   Format codes: 0 raw YUYV with the bytes of every pair swapped, 1 JPEG as the camera
   delivers it, 2 24-bit BMP (file) or BGR pixels (memory), 3 binary PGM (file) or luma
   bytes (memory). Any other code takes frames but writes nothing (result 1). */

#include <stddef.h>

#if defined(IVELMO_BUILDING_LIBRARY)
#define IVELMO_EXPORT __attribute__((visibility("default")))
#else
#define IVELMO_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One memory-mapped capture buffer. */
struct buffer {
    void* start;
    size_t length;
};

/* The mapped capture buffers of the open device; null when none. */
IVELMO_EXPORT extern struct buffer* buffers;

/* Capture. */
IVELMO_EXPORT int open_device(const char* path);
IVELMO_EXPORT int init_device(int fd, int format, int width, int height);
IVELMO_EXPORT int start_capturing(int fd, int format);
IVELMO_EXPORT int getfile_capturing(int fd, int format, int width, int height, const char* path);
IVELMO_EXPORT int get_capturing(int fd, int format, int width, int height, void* destination);
IVELMO_EXPORT int read_frame(int fd, int discard, int format, int width, int height, const char* path);
IVELMO_EXPORT int read_frame_buffer(int fd, int discard, int format, int width, int height,
                                    void* destination);
IVELMO_EXPORT void stop_capturing(int fd);
IVELMO_EXPORT void uninit_device(int fd);
IVELMO_EXPORT void close_device(int fd);
IVELMO_EXPORT int xioctl(int fd, unsigned long request, void* argument);
IVELMO_EXPORT void errno_exit(const char* name);

/* Image files. Each returns the frame length, or -1 on failure. */
IVELMO_EXPORT int process_image_YUYV(void* data, int length, const char* path);
IVELMO_EXPORT int process_image_JPEG(const void* data, int length, const char* path);
IVELMO_EXPORT int process_image_BMP(const void* data, int length, int width, int height, const char* path);
IVELMO_EXPORT int process_image_PGM(const void* data, int length, int width, int height, const char* path);

/* Memory converters. Each returns the number of bytes written, or -1 on failure. */
IVELMO_EXPORT int process_image_buffer_YUYV(const void* data, int length, void* destination);
IVELMO_EXPORT int process_image_buffer_JPG(const void* data, int length, void* destination);
IVELMO_EXPORT int process_image_buffer_BMP(const void* data, int length, int width, int height,
                                           void* destination);
IVELMO_EXPORT int process_image_buffer_PGM(const void* data, int length, int width, int height,
                                           void* destination);

#ifdef __cplusplus
}
#endif
