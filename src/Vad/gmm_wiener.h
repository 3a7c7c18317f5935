#pragma once

#include "Orvane/Vad/VadEngine.h"

struct VADEnvList;
struct PKFPrms;

constexpr unsigned int kWienerModels = 2;

struct FilterChan {
    double* previous; // FramePts: previous enhanced frame
    double* current;  // FramePts
    short* output;    // FramePts
    double* filter;   // NumFB + 2
    double* gain[kWienerModels]; // NumFB each
};

struct FilterNode {
    FilterNode* prev;
    FilterNode* next;
    unsigned int index;
    FilterChan* chan; // NumChan
};

struct FilterBuf {
    FilterNode* head;
    FilterNode* tail;
};

struct GMMWnrPrms {
    double NScale;
    double Forget;
    unsigned int FramePts;
    unsigned int ShiftPts;
    unsigned int NumChan;
    unsigned int NumModel;
    unsigned int NumFB;
    double* knot;      // NumFB + 2 knot frequencies in Hz
    double binWidth;
    FilterBuf filters;
    double* b;         // spline coefficients, NumFB + 2 each
    double* c;
    double* d;
    double* segment;   // NumFFT / 2 + 1: knot interval of each bin
    unsigned int numKnots;
    double** base;     // base filter table, filled by CompBaseFilter
    unsigned int numBase;
    // Working storage and reuse (no allocation per frame).
    unsigned int NumFFT;
    double* h;
    double* s;
    unsigned int baseRows;
    unsigned int baseCols;
    FilterNode* spare;
};

GMMWnrPrms* InitGMMWnrPrms(VADEnvList* env, const DataBuf* db);
void FreeGMMWnrPrms(GMMWnrPrms* p);
int ResetGMMWnrPrms(GMMWnrPrms* p);
void ClearFilterBuf(GMMWnrPrms* p);
int AddNewFilter(GMMWnrPrms* p, unsigned int index);
int SetFilterPrms(GMMWnrPrms* p, const PKFPrms* pkf, DataBuf* db);
int GMMBasedWFilter(GMMWnrPrms* p, const PKFPrms* pkf, DataBuf* db);
int SetEnhData(GMMWnrPrms* p, DataBuf* db);
void DeleteFilter(GMMWnrPrms* p, unsigned int index);

// Saturating conversion of an output sample; NaN and infinities give 0.
short SaturateSample(double v);
