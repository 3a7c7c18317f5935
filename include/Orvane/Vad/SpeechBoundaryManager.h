#pragma once

/* The speech-boundary manager of the Ostrel engine: cuts PCM of any length into the
   detection layer's frame steps, smooths the frame decisions by majority vote and hangover,
   and hands its reader only the samples between the speech start (less a head margin) and
   the speech end (plus a tail margin). Every function returns 0 or a negative code unless
   stated otherwise and records failures in a per-thread error state (GetSBMLastError).
   None blocks, takes a lock or starts a thread; a handle is used by one thread at a time,
   and the pointers passed in are borrowed for the call (the model image is copied). */

#include "Orvane/Export.h"
#include "Orvane/Vad/VadEngine.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SBMInfo SBMInfo;

/* Manager handle; BeginSBM returns null on failure. */
ORVANE_EXPORT SBMInfo* BeginSBM(void);
ORVANE_EXPORT int EndSBM(SBMInfo* handle);

/* Applies preset row `mode` (0..3) and hands the model image to the detection layer. */
ORVANE_EXPORT int SetSBMMode(SBMInfo* handle, int mode, const char* model, unsigned int size);
/* The manager's own integer variables ("SBM:" and "OH:" names). */
ORVANE_EXPORT int SetSBMVariable(SBMInfo* handle, const char* name, int value);
ORVANE_EXPORT int GetSBMVariable(SBMInfo* handle, const char* name, int* value);

/* Feeds `bytes` bytes (an even count) of 16-bit PCM. */
ORVANE_EXPORT int DetectSBM(SBMInfo* handle, const short* pcm, unsigned int bytes);
ORVANE_EXPORT int DetectSBM4IM(SBMInfo* handle, const short* pcm, unsigned int bytes);

/* Released speech: bytes written, -1 once an utterance has ended and been read whole
   (the manager has then reset itself), -2 on error. */
ORVANE_EXPORT int ReadSBM(SBMInfo* handle, short* out, unsigned int bytes);
/* The detection layer's output wave as it comes; bytes read, -2 on error. */
ORVANE_EXPORT int ReadRawSBM(SBMInfo* handle, short* out, unsigned int bytes);
/* The samples exactly as handed to the detection layer; bytes read. */
ORVANE_EXPORT int ReadSBMDetectVADInput(SBMInfo* handle, short* out, unsigned int bytes);

/* Per-frame values; bytes read (whole doubles). */
ORVANE_EXPORT int GetSBMProbRatio(SBMInfo* handle, double* out, unsigned int bytes);
ORVANE_EXPORT int GetSBMProbSpeech(SBMInfo* handle, double* out, unsigned int bytes);
ORVANE_EXPORT int GetSBMProbNonSpeech(SBMInfo* handle, double* out, unsigned int bytes);
ORVANE_EXPORT int GetSBMSpeechDenth(SBMInfo* handle, double* out, unsigned int bytes);
/* Frame decisions and hangover states; values read. */
ORVANE_EXPORT int GetSBMRawVADState(SBMInfo* handle, signed char* out, unsigned int count);
ORVANE_EXPORT int GetSBMVADState(SBMInfo* handle, signed char* out, unsigned int count);
ORVANE_EXPORT int GetSBMSpeechStartFrameNum(SBMInfo* handle, unsigned int* frame);
ORVANE_EXPORT int GetSBMSpeechEndFrameNum(SBMInfo* handle, unsigned int* frame);

/* Forces the end of the current utterance. */
ORVANE_EXPORT int StopSBM(SBMInfo* handle);
/* Prepares for the next utterance (restarting detection unless "SBM:ContinuousSpeech"). */
ORVANE_EXPORT int ResetSBM(SBMInfo* handle);

/* The calling thread's last manager error; the message is null when empty, and is that
   thread's, valid until its next call. */
ORVANE_EXPORT int GetSBMLastError(void);
ORVANE_EXPORT const char* GetSBMLastErrorMessage(void);

/* The per-frame procedure the manager registers with its detection handle. */
ORVANE_EXPORT int SBMGetVADInfoProc(_tagVADInfo* session, void* handle);

#ifdef __cplusplus
}
#endif
