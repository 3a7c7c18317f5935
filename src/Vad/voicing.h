#pragma once

// How periodic a frame is, from its power spectrum: the highest autocorrelation at a pitch
// lag (80-400 Hz) past its first fall below zero, against the frame's energy and the
// window's own autocorrelation at that lag. A voiced frame comes near 1; noise, a click or a
// key press stays low.

struct DataBuf;
struct ChannelBuf;

struct VoicingInfo_t {
    unsigned int size;      // NumFFT
    unsigned int shortest;  // lags searched
    unsigned int longest;
    double* window;         // the window's autocorrelation over lags, 1 at lag 0
    double* autocorr;       // NumFFT
    double* work;           // NumFFT
};

// 0, or an SBM error code; `*voicing` is null or its own until FreeVoicing.
int AllocVoicing(VoicingInfo_t** voicing, const DataBuf* db);
void FreeVoicing(VoicingInfo_t** voicing);
// The periodicity of `ch`'s power spectrum, in [0, 1].
double FrameVoicing(VoicingInfo_t* voicing, const DataBuf* db, const ChannelBuf& ch);
