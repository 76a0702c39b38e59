// Shared assertion of the numeric tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "numeric/errors.h"

// Expects f() to raise EArgumentError with this id and exactly this message.
template <typename F>
void ExpectArgumentError(F f, int id, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected id " << id;
  } catch (const EArgumentError& e) {
    EXPECT_EQ(e.Id(), id);
    EXPECT_EQ(e.Message(), message);
  }
}
