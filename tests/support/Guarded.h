#pragma once

#include <QTest>

#include <exception>

// Runs one case's body: a failure it throws unexpectedly fails this case alone, so the cases
// after it still run (Qt Test would end the whole program).
#define GUARDED(...)                                                                               \
    do {                                                                                           \
        try {                                                                                      \
            __VA_ARGS__                                                                            \
        } catch (const std::exception& unexpected) {                                               \
            QFAIL(unexpected.what());                                                              \
        }                                                                                          \
    } while (false)
