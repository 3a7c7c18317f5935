#pragma once

#include <cstddef>

#include "Orvane/Vad/VadEngine.h"

// Model sets: file reading, blank sets and the Gaussian constant. The exported writer,
// copies, compositions, conversions and FreeModelBuf are declared in VadEngine.h.

ModelBuf* ReadGMM(const char* path);
ModelBuf* ReadGMMBuff(const void* image, std::size_t size);
ModelBuf* CreateBlankModel(unsigned int numModel, unsigned int numMix, unsigned int dim);
int ResetModelBuf(ModelBuf* set);
double CompGConst(const double* var, unsigned int dim);
