// main() of the widget tests: one QApplication on the offscreen platform, then every test.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The test list is also read at build time, outside the tests' own environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    // The pixel checks are written against Qt's own style, whatever the desktop prefers.
    QApplication::setStyle(QStringLiteral("Fusion"));
    return RUN_ALL_TESTS();
}
