#include "AmbienteFirebird.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The blocking executor waits in a Qt event loop, as the window does.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new AmbienteFirebird);
    return RUN_ALL_TESTS();
}
