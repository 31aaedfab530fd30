#pragma once

#include "platform/Failure.h"

#include <functional>

// The code of the failure the action throws, or 0 when it throws none.
inline int failureCode(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Failure& failure) {
        return failure.code();
    }
    return 0;
}
