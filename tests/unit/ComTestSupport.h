#pragma once

#include "serial/ComError.h"

#include <gtest/gtest.h>

// The EComPort that `action` raises; a test failure when it raises none.
template <typename F> serial::EComPort Raised(F&& action) {
    try {
        action();
    } catch (const serial::EComPort& error) {
        return error;
    }
    ADD_FAILURE() << "no EComPort raised";
    return serial::EComPort(0);
}
