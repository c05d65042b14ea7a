// The session's tests: GoogleTest's own main, ended as every test program that runs
// the session's thread.
#include "TestSupport.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return testsupport::endTestProgram(RUN_ALL_TESTS());
}
