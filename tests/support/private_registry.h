// A registry file of its own for every test of a fixture: the store follows KORUTIL_REGISTRY,
// and closing it at the end lets the next test open its own file.
#pragma once

#include "support/temp_dir.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace korutil::test {

class PrivateRegistry : public ::testing::Test {
protected:
    void SetUp() override { setenv("KORUTIL_REGISTRY", m_dir.file("registry.sqlite").c_str(), 1); }
    void TearDown() override {
        PlatRegCloseStore();
        unsetenv("KORUTIL_REGISTRY");
    }
    TempDir m_dir;
};

} // namespace korutil::test
