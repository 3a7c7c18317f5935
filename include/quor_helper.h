/* The flat C interface of libTessival: create a helper, register callbacks, initialise it
   from a parameter file, then start, stop or cancel recognitions.

   Every function but the two creators takes the handle first and a caller-owned error
   record last, returns 0 on success and -1 on failure, and never lets an exception out.
   Given a NULL record such a function does nothing and returns -1. The record's message
   is emptied at the start of each call.

   Threads: the functions take no lock and may be called from any thread, one call per
   handle at a time. Callbacks run on library threads: kind 1 and kind 6 on short-lived
   worker threads, kind 2 on the recording thread, kinds 3, 4 and 5 on the recognizer's
   notification thread. A callback may call quor_helper_start again from inside kind 6.
   Nothing here blocks for a recognition: start returns once the recognition is under way
   and its end is reported through kind 6.

   Texts are UTF-8, or Shift_JIS for a helper made with quor_helper_create2(.., "Shift_JIS").
   A handle stays valid for the life of the process. */
#ifndef QUOR_HELPER_H
#define QUOR_HELPER_H

#ifdef __cplusplus
extern "C" {
#endif

#define QUOR_HELPER_API __attribute__((visibility("default")))

/* The helper handle; the application never looks inside. */
struct _quor_helper;

/* Sizes of the error record: 1024 bytes in all; the type text takes bytes 1-35 and the
   message bytes 40-1023, each NUL-terminated within its field and cut at a character
   boundary. */
#define QUOR_HELPER_ERROR_SIZE 1024
#define QUOR_HELPER_ERROR_TYPE_SIZE 35
#define QUOR_HELPER_ERROR_MESSAGE_SIZE (QUOR_HELPER_ERROR_SIZE - 40)

/* A failure: flag (0 whenever an error is written), the raising part's type text, the
   error number and the message. Caller-owned. */
typedef struct quor_helper_error {
    unsigned char flag;
    char type[QUOR_HELPER_ERROR_TYPE_SIZE];
    int number;
    char message[QUOR_HELPER_ERROR_MESSAGE_SIZE];
} quor_helper_error;

/* Kind 2: one recorded block of 16-bit mono PCM at 16 kHz; `samples` is valid during the
   call only and `count` counts samples, not bytes. */
typedef struct quor_helper_record {
    const short* samples;
    unsigned int count;
} quor_helper_record;

/* Kinds 4 and 5: a result's time (0.0 for a final result), its one-line text and its XML
   form; the texts are valid during the call only. */
typedef struct quor_helper_result {
    double time;
    const char* text;
    const char* xml;
} quor_helper_result;

/* The callback kinds and the data each receives. */
enum quor_helper_callback_kind {
    QUOR_HELPER_CONNECTED = 1,    /* connection up, sending begins; the registered pointer */
    QUOR_HELPER_RECORD = 2,       /* each recorded block (option "notify_record"); a filled
                                     quor_helper_record; not called with NULL data */
    QUOR_HELPER_SENTENCE_END = 3, /* the server reports a sentence end; the registered pointer */
    QUOR_HELPER_TEMP_RESULT = 4,  /* an interim result; a filled quor_helper_result; not
                                     called with NULL data */
    QUOR_HELPER_RECOGNIZE = 5,    /* the final result; a filled quor_helper_result; not called
                                     with NULL data */
    QUOR_HELPER_COMPLETED = 6     /* the recognition ended: the registered quor_helper_error,
                                     filled, after an error; NULL after a normal end (also a
                                     cancel); never called when registered with NULL data */
};

typedef void (*quor_helper_callback)(struct _quor_helper* handle, void* data);

/* A new helper for UTF-8 texts; NULL on failure (the record, when given, says why). */
QUOR_HELPER_API struct _quor_helper* quor_helper_create(quor_helper_error* error);
/* A new helper; "Shift_JIS" in any letter case selects Shift_JIS texts, any other name
   UTF-8. A NULL name fails with 7000. */
QUOR_HELPER_API struct _quor_helper* quor_helper_create2(quor_helper_error* error, const char* encoding);
/* Reads the section "Environment" of the INI file at `path` and validates it; refused
   with 2000 while a recognition runs. Reads the file on the calling thread. */
QUOR_HELPER_API int quor_helper_initialize(struct _quor_helper* handle, const char* path, quor_helper_error* error);
/* Registers `function` with `data` for `kind` (1..6), replacing the earlier pair; allowed
   at any time. `data` stays the caller's and must outlive the recognitions. */
QUOR_HELPER_API int quor_helper_regist_callback(struct _quor_helper* handle, int kind, quor_helper_callback function,
                                                void* data, quor_helper_error* error);
/* Sets one option of the section "Environment" while no recognition runs; the whole
   configuration must still validate, otherwise nothing changes. */
QUOR_HELPER_API int quor_helper_set_option(struct _quor_helper* handle, const char* key, const char* value,
                                           quor_helper_error* error);
/* Starts a recognition and returns at once; its failures come through kind 6. Refused
   with 2000 before initialisation or while one runs. */
QUOR_HELPER_API int quor_helper_start(struct _quor_helper* handle, quor_helper_error* error);
/* Ends the recording: what was recorded is sent and the final result asked for. Returns at
   once; kind 6 follows. Refused with 2000 unless running.
   With server-side detection ("serverside_vad_mode") what was recorded is sent, then the
   server is told to abort, on every target and also after a file's end: the results the
   server sent until then still come through kind 5, and kind 6 follows at once with NULL.
   A continuous file's end has aborted already: a stop after it sends nothing. */
QUOR_HELPER_API int quor_helper_stop(struct _quor_helper* handle, quor_helper_error* error);
/* Abandons the recognition: recorded audio is still sent, then the server is told to
   abort; no final result; kind 6 follows with NULL. Refused with 2000 unless running.
   Once the end of speech has been detected it changes nothing: the result still comes.
   With server-side detection it does what quor_helper_stop does. */
QUOR_HELPER_API int quor_helper_cancel(struct _quor_helper* handle, quor_helper_error* error);
/* Drops the configuration; the handle stays usable (initialise again). Refused with 2000
   while a recognition runs. */
QUOR_HELPER_API int quor_helper_release(struct _quor_helper* handle, quor_helper_error* error);

#ifdef __cplusplus
}
#endif

#endif
