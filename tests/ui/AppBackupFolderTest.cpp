// The desktop program keeps its pad file copies in the user's data folder, the same folder k72-card
// uses, and asking for it leaves the program's own names alone.
#include "app/CConvertToolApp.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

TEST(AppShell, PadFileCopiesGoToTheUsersDataFolder) {
    const QString name = QCoreApplication::applicationName();
    const QString organisation = QCoreApplication::organizationName();
    k72::CConvertToolApp app;
    const std::filesystem::path data =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
    EXPECT_EQ(app.Store().BackupFolder(), data / "KAVELO" / "K-72 Image Converter" / "pad-backups");
    EXPECT_EQ(QCoreApplication::applicationName(), name);
    EXPECT_EQ(QCoreApplication::organizationName(), organisation);
}
