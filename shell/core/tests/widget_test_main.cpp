// GoogleTest under a QApplication on the offscreen platform, for the shell core's windows.
// The whole run stays inside a temporary home, as the other shell tests do.
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
