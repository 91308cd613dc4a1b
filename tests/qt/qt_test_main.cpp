// The Qt tests need an application object; they run offscreen unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Morvane RC Gyro Tools"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
