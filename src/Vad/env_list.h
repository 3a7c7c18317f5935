#pragma once

// The detection engine's named, typed configuration variables.

enum VadEnvType { VAD_INT = 0, VAD_REAL = 1, VAD_STR = 2, VAD_PTR = 3 };

constexpr unsigned kVadEnvNameSize = 32;  // name of at most 31 characters
constexpr unsigned kVadEnvTextSize = 256; // text value of at most 255 characters

struct VADEnv {
    char name[kVadEnvNameSize];
    int type;
    unsigned int size; // block size in bytes (VAD_PTR only)
    union {
        int i;
        double r;
        char s[kVadEnvTextSize];
        void* p; // owned block (VAD_PTR)
    } value;
    VADEnv* next;         // list of all
    VADEnv* nextModified; // pending list
};

struct VADEnvList {
    VADEnv* first;
    VADEnv* firstModified;
};

struct DefVariableRow {
    const char* name;
    const char* type;
    const char* value;
};

extern const DefVariableRow DefVariable[];

VADEnvList* AllocVADEnvList();
void FreeVADEnvList(VADEnvList* list);
int AddVADEnv(VADEnvList* list, const char* name, const char* type, const char* value);
int SetupVADEnvList(VADEnvList* list);
VADEnv* FindVADEnv(VADEnvList* list, const char* name);
VADEnv* FindModifiedVADEnv(VADEnvList* list, const char* name);
// Empties the pending list (the variables stay in the list of all).
void ClearModifiedVADEnv(VADEnvList* list);

int PreModifiedCheckInt(VADEnvList* list, const char* name, int value);
int PreModifiedCheckReal(VADEnvList* list, const char* name, double value);
int PreModifiedCheckStr(VADEnvList* list, const char* name, const char* value);
int PreModifiedCheckPtr(VADEnvList* list, const char* name, const void* value);

// Typed reads for the stages; a missing variable or another type records -1 or -2 and
// leaves *value unchanged.
int ReadEnvInt(VADEnvList* list, const char* name, int* value);
int ReadEnvReal(VADEnvList* list, const char* name, double* value);
int ReadEnvStr(VADEnvList* list, const char* name, const char** value);
int ReadEnvPtr(VADEnvList* list, const char* name, const void** data, unsigned int* size);
