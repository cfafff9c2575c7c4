#pragma once
// What the desktop program remembers between runs besides the conversion settings: the last five
// cards opened (their root folders, newest first) and the last folders used to import from and export
// to. Kept beside the settings, under "KAVELO" / "K-72 Image Converter".

#include <QString>
#include <QStringList>

namespace k72::remembered {

inline constexpr int kRecentCards = 5;

QStringList RecentCards();
// Puts a card's root first, dropping an older mention of it and anything past five.
void RememberCard(const QString& root);

QString ImportFolder();
void SetImportFolder(const QString& folder);
QString ExportFolder();
void SetExportFolder(const QString& folder);

} // namespace k72::remembered
