#pragma once

// Marks the declarations that libTessival exports; everything else is built hidden.
#define ORVANE_EXPORT __attribute__((visibility("default")))
