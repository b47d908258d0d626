// Fixtures for tests that change the library-wide state: each test starts
// from the state of a new library and leaves it so.
#pragma once

#include "SrcXLS/XLSLibState.h"

#include <gtest/gtest.h>

struct FreshLibState : ::testing::Test {
    void SetUp() override { xls::LibState().Reset(); }
    void TearDown() override { xls::LibState().Reset(); }
};

// The same with the row and column limits of a BIFF8 sheet.
struct Biff8Limits : FreshLibState {
    void SetUp() override {
        FreshLibState::SetUp();
        xls::LibState().SetLimits(xls::TExcelVersion::xvExcel97);
    }
};
