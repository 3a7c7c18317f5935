#pragma once

#include <cstddef>

// Plain vectors (zeroed blocks of n elements; the length travels with the calls) and
// row-table matrices of the detection engine. Creation records -201 on failure.

// Element counts above this are refused as an allocation failure: counts come from
// configuration and model files.
constexpr std::size_t kMaxVectorElements = std::size_t(1) << 26;

void MemErr(const char* message);

double* CreateDVector(std::size_t n);
char* CreateCVector(std::size_t n);
short* CreateSVector(std::size_t n);
unsigned char* CreateUCVector(std::size_t n);
unsigned int* CreateUIVector(std::size_t n);
double** CreateDMatrix(std::size_t rows, std::size_t cols);
short** CreateSMatrix(std::size_t rows, std::size_t cols);

void FreeDVector(double* v);
void FreeCVector(char* v);
void FreeSVector(short* v);
void FreeUCVector(unsigned char* v);
void FreeUIVector(unsigned int* v);
void FreeDMatrix(double** m, std::size_t rows);
void FreeSMatrix(short** m, std::size_t rows);

void ZeroDVector(double* v, std::size_t n);
void ZeroCVector(char* v, std::size_t n);
void ZeroSVector(short* v, std::size_t n);
void ZeroUCVector(unsigned char* v, std::size_t n);
void ZeroUIVector(unsigned int* v, std::size_t n);
void ZeroDMatrix(double** m, std::size_t rows, std::size_t cols);
void ZeroSMatrix(short** m, std::size_t rows, std::size_t cols);

void CopyDVector(double* to, const double* from, std::size_t n);
void CopySVector(short* to, const short* from, std::size_t n);
void CopySDVector(double* to, const short* from, std::size_t n);
