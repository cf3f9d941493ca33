// GoogleTest under a QApplication on the offscreen platform, inside a temporary home so that
// no test can write into a real one: the main of every shell test program.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "shell/testing/temp_home.h"

int main(int argc, char** argv) {
    ov::testing::TempHome home;
    const std::string problems = ov::testing::CheckEnvironmentInside(home.Root());
    if (!problems.empty()) {
        std::fprintf(stderr, "refusing to run outside a temporary home: %s\n", problems.c_str());
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
