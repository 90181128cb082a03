#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
    verimant::test::prepareTestEnvironment();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
