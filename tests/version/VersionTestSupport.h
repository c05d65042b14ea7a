#pragma once
#include "TestSupport.h"
#include "uTVersao.h"

#include <QString>

#include <gtest/gtest.h>

#include <ostream>


// Every test starts from the state of a fresh process.
class VersaoTest : public ::testing::Test {
protected:
    void SetUp() override { TVersao::ResetForTests(); }
    void TearDown() override { TVersao::ResetForTests(); }
};
