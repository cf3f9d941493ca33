// GoogleTest under a QCoreApplication, so that tests can run the Qt event loop. The whole run
// stays inside a temporary home, so even a test without the fixture cannot write into a real
// one.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdio>

#include "shell/testing/temp_home.h"

int main(int argc, char** argv) {
    ov::testing::TempHome home;
    const std::string problems = ov::testing::CheckEnvironmentInside(home.Root());
    if (!problems.empty()) {
        std::fprintf(stderr, "refusing to run outside a temporary home: %s\n", problems.c_str());
        return 1;
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
