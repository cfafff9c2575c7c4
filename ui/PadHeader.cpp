#include "ui/PadHeader.h"

#include "store/CPadBankStore.h"
#include "store/CardLayout.h"
#include "store/ShortName.h"

#include <QLabel>
#include <QToolButton>

#include <algorithm>
#include <system_error>

namespace k72 {
namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

} // namespace

QString BankLabelText(int bank, int number) {
    const QString letter =
        (bank >= 0 && bank <= 5) ? QString(QLatin1Char(static_cast<char>('A' + bank))) : QStringLiteral(" ");
    return QStringLiteral("BANK:%1-%2").arg(letter).arg(number + 1, 2);
}

QString PadLabelText(int pad) {
    return QStringLiteral("PAD:%1").arg(pad + 1);
}

QString ShortenedName(const QString& name, int wholeLength, int prefixLength) {
    if (name.size() <= wholeLength) {
        return name;
    }
    return name.left(prefixLength) + QStringLiteral("...");
}

QString AudioDisplayName(const CPadBankStore& store, const std::string& shortName) {
    const QString recorded = QString::fromStdString(shortName);
    const auto path = store.Files().PathOf(shortName);
    const std::filesystem::path& folder = store.CardFolder();
    if (!path || folder.empty()) {
        return recorded;
    }
    if (FolderKeepsShortNames(folder)) {
        // On the card itself the file has a long name of its own; the pad records the short one FAT
        // gave it.
        std::error_code ec;
        for (auto it = std::filesystem::directory_iterator(folder, ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            const auto fatName = ReadFatShortName(folder, name);
            if (SameNoCase(name, shortName) || (fatName && SameNoCase(*fatName, shortName))) {
                return QString::fromStdString(name);
            }
        }
        return recorded;
    }
    // Elsewhere the copy carries the short name itself, spelt as the file system keeps it.
    if (const auto found = FindEntryNoCase(folder, path->filename().string())) {
        return QString::fromStdString(found->filename().string());
    }
    return recorded;
}

QToolButton* MakeRemoveSoundButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(QStringLiteral("\u2715")); // a cross
    button->setAutoRaise(true);
    button->setToolTip(QStringLiteral("Take the sound off this pad"));
    button->setAccessibleName(QStringLiteral("Remove Sound"));
    button->resize(14, 14);
    button->hide();
    return button;
}

QString RemoveSoundQuestion(const QString& soundName, int pad) {
    return QStringLiteral("Take the sound %1 off pad %2?\nDelete file as well?\n\nYes: its file is deleted "
                          "from the card too.\nNo: the file stays on the card.")
        .arg(soundName)
        .arg(pad + 1);
}

void PlaceHeaderLabels(QLabel* bank, QLabel* pad, QLabel* audio, QLabel* audioName,
                       QAbstractButton* removeSound) {
    // The stand-in font runs wider than the forms' own: a label grows to its text from the width the
    // form gives it (kept as its minimum width), and the others move along.
    for (QLabel* label : {bank, pad, audio, audioName}) {
        if (label->minimumWidth() == 0) {
            label->setMinimumWidth(label->width());
        }
        const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 1;
        label->resize(std::max(label->minimumWidth(), needed), label->height());
    }
    const int wB = bank->width();
    const int wP = pad->width();
    const int wA = audio->width();
    bank->move(10, 5);
    pad->move(wB + 20, 5);
    audio->move(wB + wP + 30, 5);
    audioName->move(wB + wP + wA + 32, 5);
    if (removeSound != nullptr) {
        // Right after the name as drawn, inside the window.
        const int textEnd = audioName->x() + audioName->fontMetrics().horizontalAdvance(audioName->text());
        const QWidget* window = removeSound->parentWidget();
        const int right = window != nullptr ? window->width() - removeSound->width() - 2 : textEnd + 4;
        removeSound->move(std::min(textEnd + 4, right), 3);
        removeSound->setVisible(!audioName->text().isEmpty());
    }
}

} // namespace k72
