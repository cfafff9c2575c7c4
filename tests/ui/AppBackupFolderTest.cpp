// The desktop program keeps its pad file copies in the user's data folder, the same folder k72-card
// uses, and asking for it leaves the program's own names alone.
#include "UiTestSupport.h"
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
    k72test::TempDir dir;
    k72test::PadCard card(dir.Path());
    ASSERT_TRUE(app.Store().OpenCardRoot(card.card.root));
    EXPECT_EQ(app.Store().CardBackupFolder().parent_path(),
              data / "KAVELO" / "K-72 Image Converter" / "pad-backups");
    app.Store().Close();
    EXPECT_EQ(QCoreApplication::applicationName(), name);
    EXPECT_EQ(QCoreApplication::organizationName(), organisation);
}
