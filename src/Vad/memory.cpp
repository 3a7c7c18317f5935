#include "Vad/memory.h"

#include <cstdlib>
#include <cstring>

#include "Vad/quillet_error_common.h"

namespace {

// Zeroed block of n elements; at least one byte so that a zero count still yields a vector.
template <typename T>
T* CreateVector(std::size_t n, const char* detail)
{
    T* v = nullptr;
    if (n <= kMaxVectorElements) {
        v = static_cast<T*>(std::calloc(n == 0 ? 1 : n, sizeof(T)));
    }
    if (v == nullptr) {
        MemErr("Allocation failure in vector.");
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", detail);
    }
    return v;
}

template <typename T>
T** CreateMatrix(std::size_t rows, std::size_t cols, const char* detail, T* (*createRow)(std::size_t))
{
    T** m = nullptr;
    // The whole matrix is held to the bound of one vector.
    if (rows <= kMaxVectorElements && (cols == 0 || rows <= kMaxVectorElements / cols)) {
        m = static_cast<T**>(std::calloc(rows == 0 ? 1 : rows, sizeof(T*)));
    }
    if (m == nullptr) {
        MemErr("Allocation failure in matrix.");
        VAD_SET_ERROR_DETAIL(VAD_ERR_MEMORY, "%s", detail);
        return nullptr;
    }
    for (std::size_t r = 0; r < rows; ++r) {
        m[r] = createRow(cols);
        if (m[r] == nullptr) {
            for (std::size_t k = 0; k < r; ++k) {
                std::free(m[k]);
            }
            std::free(m);
            return nullptr;
        }
    }
    return m;
}

template <typename T>
void FreeMatrix(T** m, std::size_t rows)
{
    if (m == nullptr) {
        return;
    }
    for (std::size_t r = 0; r < rows; ++r) {
        std::free(m[r]);
    }
    std::free(m);
}

template <typename T>
void ZeroVector(T* v, std::size_t n)
{
    if (v != nullptr && n != 0) {
        std::memset(v, 0, n * sizeof(T));
    }
}

} // namespace

void MemErr(const char*) {}

double* CreateDVector(std::size_t n) { return CreateVector<double>(n, "DVector"); }
char* CreateCVector(std::size_t n) { return CreateVector<char>(n, "CVector"); }
short* CreateSVector(std::size_t n) { return CreateVector<short>(n, "SVector"); }
unsigned char* CreateUCVector(std::size_t n) { return CreateVector<unsigned char>(n, "UCVector"); }
unsigned int* CreateUIVector(std::size_t n) { return CreateVector<unsigned int>(n, "UIVector"); }

double** CreateDMatrix(std::size_t rows, std::size_t cols)
{
    return CreateMatrix<double>(rows, cols, "DMatrix", CreateDVector);
}

short** CreateSMatrix(std::size_t rows, std::size_t cols)
{
    return CreateMatrix<short>(rows, cols, "SMatrix", CreateSVector);
}

void FreeDVector(double* v) { std::free(v); }
void FreeCVector(char* v) { std::free(v); }
void FreeSVector(short* v) { std::free(v); }
void FreeUCVector(unsigned char* v) { std::free(v); }
void FreeUIVector(unsigned int* v) { std::free(v); }
void FreeDMatrix(double** m, std::size_t rows) { FreeMatrix(m, rows); }
void FreeSMatrix(short** m, std::size_t rows) { FreeMatrix(m, rows); }

void ZeroDVector(double* v, std::size_t n) { ZeroVector(v, n); }
void ZeroCVector(char* v, std::size_t n) { ZeroVector(v, n); }
void ZeroSVector(short* v, std::size_t n) { ZeroVector(v, n); }
void ZeroUCVector(unsigned char* v, std::size_t n) { ZeroVector(v, n); }
void ZeroUIVector(unsigned int* v, std::size_t n) { ZeroVector(v, n); }

void ZeroDMatrix(double** m, std::size_t rows, std::size_t cols)
{
    for (std::size_t r = 0; m != nullptr && r < rows; ++r) {
        ZeroVector(m[r], cols);
    }
}

void ZeroSMatrix(short** m, std::size_t rows, std::size_t cols)
{
    for (std::size_t r = 0; m != nullptr && r < rows; ++r) {
        ZeroVector(m[r], cols);
    }
}

void CopyDVector(double* to, const double* from, std::size_t n)
{
    if (n != 0) {
        std::memcpy(to, from, n * sizeof(double));
    }
}

void CopySVector(short* to, const short* from, std::size_t n)
{
    if (n != 0) {
        std::memcpy(to, from, n * sizeof(short));
    }
}

void CopySDVector(double* to, const short* from, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        to[i] = from[i];
    }
}
