#pragma once

/* The Ostrel detection engine's exported plain functions and the records they take.
   Every function returns 0 or a negative code (unless stated otherwise) and records the
   code with its message in a per-thread error state (GetVADLastError). None blocks, takes
   a lock or starts a thread; a handle is used by one thread at a time. Pointers passed in
   are borrowed for the call; SetVariableVADPtr copies its data, and SetVADGetVADInfoProc
   keeps `user` until it is replaced or the handle ends. */

#include "Orvane/Export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One diagonal Gaussian of a mixture. */
typedef struct MixBuf {
    double MixWt;
    double* Mean;
    double* Var;
    double GConst;
} MixBuf;

/* One Gaussian mixture model. */
typedef struct GMMBuf {
    unsigned int NumMix;
    unsigned int Dim;
    MixBuf* Mix;
} GMMBuf;

/* A set of mixture models (model 0 non-speech, model 1 speech for the noise tracker). */
typedef struct ModelBuf {
    unsigned int NumModel;
    GMMBuf* GMM;
} ModelBuf;

typedef struct _tagVADInfo _tagVADInfo;
typedef struct DataBuf DataBuf;
typedef struct GMMWnrPrms GMMWnrPrms;

/* Called once per decided frame inside DetectVAD, on its thread; a nonzero result stops
   DetectVAD. */
typedef int (*GetVADInfoProc)(_tagVADInfo* handle, void* user);

/* Detection handle. */
ORVANE_EXPORT _tagVADInfo* BeginVAD(void);
ORVANE_EXPORT int EndVAD(_tagVADInfo* handle);
ORVANE_EXPORT int DetectVAD(_tagVADInfo* handle, const short* wave, int reset, unsigned int nFrames,
                            int* state, unsigned int* first, unsigned int* second, short* out);
ORVANE_EXPORT int SetVADGetVADInfoProc(_tagVADInfo* handle, GetVADInfoProc proc, void* user);
ORVANE_EXPORT int AdaptVAD(_tagVADInfo* handle);
ORVANE_EXPORT int UpdateVADModels(_tagVADInfo* handle);

/* The calling thread's last error; the message is that thread's, valid until its next call
   into the engine. */
ORVANE_EXPORT int GetVADLastError(void);
ORVANE_EXPORT const char* GetVADLastErrorMessage(void);

/* Typed configuration variables. */
ORVANE_EXPORT int SetVariableVADInt(_tagVADInfo* handle, const char* name, int value);
ORVANE_EXPORT int SetVariableVADReal(_tagVADInfo* handle, const char* name, double value);
ORVANE_EXPORT int SetVariableVADStr(_tagVADInfo* handle, const char* name, const char* value);
ORVANE_EXPORT int SetVariableVADPtr(_tagVADInfo* handle, const char* name, const void* data,
                                    unsigned int size);
ORVANE_EXPORT int GetVariableVADInt(_tagVADInfo* handle, const char* name, int* value);
ORVANE_EXPORT int GetVariableVADReal(_tagVADInfo* handle, const char* name, double* value);
ORVANE_EXPORT int GetVariableVADStr(_tagVADInfo* handle, const char* name, char* buffer,
                                    unsigned int capacity);

/* Model sets: writing (1 on success, 0 on failure), copying (1/0), composition and conversion.
   A returned set is new and the caller's, null on failure; the caller frees it with
   FreeModelBuf. */
ORVANE_EXPORT int WriteGMM(const char* path, const ModelBuf* set);
ORVANE_EXPORT int CopyMixBuf(MixBuf* to, const MixBuf* from, unsigned int dim);
ORVANE_EXPORT int CopyGMMBuf(GMMBuf* to, const GMMBuf* from);
ORVANE_EXPORT int CopyModelBuf(ModelBuf* to, const ModelBuf* from);
ORVANE_EXPORT ModelBuf* LogNormalGMMComposition(const ModelBuf* speech, const ModelBuf* noise);
ORVANE_EXPORT int LogVTSGMMComposition(ModelBuf* out, const ModelBuf* speech, const ModelBuf* noise);
ORVANE_EXPORT ModelBuf* FBankGMM2MfccGMM(const ModelBuf* set, double** T, unsigned int numFB,
                                         unsigned int numCep);
ORVANE_EXPORT ModelBuf* MfccGMM2FBankGMM(const ModelBuf* set, double** T, unsigned int numFB,
                                         unsigned int numCep);
/* Frees a set made by the library, arrays and all; null is ignored. */
ORVANE_EXPORT void FreeModelBuf(ModelBuf* set);

/* Likelihoods of sets with log weights (the "Mix" family) and the expected log-likelihood. */
ORVANE_EXPORT double LMixOutP(MixBuf mix, const double* x, unsigned int dim);
ORVANE_EXPORT double CompMixPosteriori(unsigned int numMix, unsigned int dim, const MixBuf* mixes,
                                       double* post, unsigned int numPieces, ...);
ORVANE_EXPORT double CompMixQOutP(unsigned int numMix, unsigned int dim, const MixBuf* mixes,
                                  const double* q, unsigned int numPieces, ...);
ORVANE_EXPORT double CompQOutP(unsigned int numMix, unsigned int dim, const MixBuf* mixes,
                               const double* x, const double* q);

/* Model-based filters outside the engine's own flow. FeaEnh returns a vector the caller
   frees with free(). */
ORVANE_EXPORT int CompBaseFilter(GMMWnrPrms* p, const ModelBuf* noisy, const ModelBuf* clean);
ORVANE_EXPORT double* FeaEnh(GMMWnrPrms* p, const double* y, const double* post, double* state,
                             const DataBuf* db);
ORVANE_EXPORT int CompMmseMapFilter(double* out, const double* y, const ModelBuf* noisy,
                                    const ModelBuf* clean, const ModelBuf* noise);

#ifdef __cplusplus
}
#endif
