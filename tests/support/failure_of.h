// The failure a call throws, for tests that check its category, message, status or reason; a call
// that throws nothing fails the test.
#pragma once

#include <gtest/gtest.h>

#include "vxmeta/foundation/exception.h"

namespace VxMeta::testing {

template <typename Call>
VxMetaException thrownBy(Call&& call) {
    try {
        call();
    } catch (const VxMetaException& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure";
    return VxMetaException("", "");
}

} // namespace VxMeta::testing
