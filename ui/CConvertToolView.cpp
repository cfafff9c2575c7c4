#include "ui/CConvertToolView.h"

#include "engine/MediaKind.h"
#include "store/CPadBankStore.h"
#include "store/StoreMessages.h"
#include "ui/CDialogMovieInformation.h"
#include "ui/CDialogPictureInformation.h"
#include "ui/CPadView.h"
#include "ui/CardVolumes.h"
#include "ui/DialogUnits.h"
#include "ui/DriveList.h"
#include "ui/PadGeometry.h"
#include "ui/QtUserMessages.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>
#include <filesystem>

namespace k72 {
namespace {

// Qt's file dialog separates patterns with spaces and matches them with the file system's letter case,
// so each letter of an extension is given in both cases ("*.[aA][vV][iI]").
QString Filter(const QString& name, MediaKind kind) {
    QStringList patterns;
    for (std::string_view extension : KnownExtensions(kind)) {
        QString pattern = QStringLiteral("*.");
        for (const char c : extension) {
            const QChar letter = QLatin1Char(c);
            pattern += letter.isLetter()
                           ? QStringLiteral("[") + letter.toUpper() + letter.toLower() + QStringLiteral("]")
                           : QString(letter);
        }
        patterns << pattern;
    }
    return name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

// Keeps a command from starting while another one runs (its dialogs let window events through).
class BusyScope {
public:
    explicit BusyScope(int& busy) : busy_(busy) { busy_ = 1; }
    ~BusyScope() { busy_ = 0; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    int& busy_;
};

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int width, int height) {
    auto* label = new QLabel(text, parent);
    PlaceLabel(label, x, y, width, height);
    return label;
}

} // namespace

CConvertToolView::CConvertToolView(CPadBankStore& store, const QString& cardRoot, QWidget* parent)
    : QWidget(parent), store(store), cardRoot(cardRoot) {
    setFont(FormFont());
    setFixedSize(DluSize(185, 198));

    MakeLabel(this, QStringLiteral("K-72 Drive :"), 7, 7, 39, 8);
    driveList = new CDriveListBox(this);
    PlaceControl(driveList, 7, 15, 57, 12);
    driveList->setItemDelegate(new CDriveItemDelegate(driveList));
    driveList->setIconSize(QSize(16, 16));

    MakeLabel(this, QStringLiteral("K-72 Bank Select :"), 88, 7, 59, 8);
    bankList = new QComboBox(this);
    PlaceControl(bankList, 88, 15, 44, 12);
    for (const char letter : {'A', 'B', 'C', 'D', 'E', 'F'}) {
        bankList->addItem(QStringLiteral("BANK:") + QLatin1Char(letter));
    }
    auto* dash = new QLabel(QStringLiteral("-"), this);
    dash->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    PlaceLabel(dash, 136, 17, 8, 8);
    numberList = new QComboBox(this);
    PlaceControl(numberList, 150, 15, 28, 12);
    for (int number = 1; number <= 12; ++number) {
        numberList->addItem(QString::number(number));
    }
    bankList->setCurrentIndex(-1);
    numberList->setCurrentIndex(-1);

    padView = new CPadView(this);
    padView->move(padgrid::kGridLeft, padgrid::kGridTop);

    importButton = MakeFormButton(this, QStringLiteral("Import"), 7, 156);
    informationButton = MakeFormButton(this, QStringLiteral("Information"), 67, 156);
    deleteButton = MakeFormButton(this, QStringLiteral("Delete"), 128, 156);
    exportButton = MakeFormButton(this, QStringLiteral("Export"), 7, 177);
    exitButton = MakeFormButton(this, QStringLiteral("Exit"), 128, 177);

    connect(driveList, &QComboBox::activated, this, &CConvertToolView::OnDriveChosen);
    connect(bankList, &QComboBox::activated, this, &CConvertToolView::OnBankChosen);
    connect(numberList, &QComboBox::activated, this, &CConvertToolView::OnNumberChosen);
    connect(importButton, &QPushButton::clicked, this, &CConvertToolView::OnImport);
    connect(exportButton, &QPushButton::clicked, this, &CConvertToolView::OnExport);
    connect(informationButton, &QPushButton::clicked, this, &CConvertToolView::OnInformation);
    connect(deleteButton, &QPushButton::clicked, this, &CConvertToolView::OnDelete);
    connect(exitButton, &QPushButton::clicked, this, &CConvertToolView::ExitRequested);
}

QStringList CConvertToolView::ImportFilters(PadKind lastKind) {
    const QString movies = Filter(QStringLiteral("movie"), MediaKind::Movie);
    const QString images = Filter(QStringLiteral("image"), MediaKind::Picture);
    const QString all = QStringLiteral("All files (*)");
    if (lastKind == PadKindStill) {
        return {images, movies, all};
    }
    return {movies, images, all};
}

QString CConvertToolView::SoundFilters() {
    return Filter(QStringLiteral("sound"), MediaKind::Sound) + QStringLiteral(";;All files (*)");
}

PadKind CConvertToolView::ImportKindOf(const QString& path) {
    switch (KindOfFile(std::filesystem::path(path.toStdString()))) {
    case MediaKind::Movie:
        return PadKindMovie;
    case MediaKind::Picture:
        return PadKindStill;
    case MediaKind::Sound:
    case MediaKind::Unknown:
        break;
    }
    return PadKindEmpty;
}

void CConvertToolView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    InitialSetUp();
}

void CConvertToolView::InitialSetUp() {
    if (setUpDone) {
        return;
    }
    setUpDone = true;
    FillDriveList();
    driveList->setCurrentIndex(0);
    bankList->setEnabled(false);
    numberList->setEnabled(false);
    padView->move(padgrid::kGridLeft, padgrid::kGridTop);
    // The card named on the command line is opened as if the user had chosen it.
    if (!cardRoot.isEmpty() && driveList->count() > 1) {
        driveList->setCurrentIndex(1);
        OnDriveChosen(1);
    }
}

void CConvertToolView::FillDriveList() {
    driveList->clear();
    int widest = 0;
    const QFontMetrics metrics(driveList->font());
    for (const DriveEntry& entry : ListDrives(cardRoot)) {
        driveList->addItem(entry.icon, entry.text, entry.root);
        driveList->setItemData(driveList->count() - 1, entry.card, kCardRole);
        widest = std::max(widest, metrics.horizontalAdvance(entry.text));
    }
    // The list opens wide enough for the longest path; the closed box keeps its place in the form.
    driveList->view()->setMinimumWidth(std::max(driveList->width(), 22 + widest + 24));
}

void CConvertToolView::UpdateDrives() {
    QStringList before;
    for (int i = 0; i < driveList->count(); ++i) {
        before << driveList->itemData(i).toString();
    }
    QString chosen = driveList->currentData().toString();
    // A card taken out without Eject: its pad file is let go, as nothing can be written to it any more.
    if (store.IsCardOpen() && !chosen.isEmpty() && !LooksLikeCard(chosen)) {
        ReleaseCard();
        chosen.clear();
    }
    FillDriveList();
    const int keep = driveList->findData(chosen);
    driveList->setCurrentIndex(keep >= 0 ? keep : 0);
    if (store.IsCardOpen() || busy != 0) {
        return;
    }
    for (int i = 1; i < driveList->count(); ++i) {
        const QString root = driveList->itemData(i).toString();
        if (!before.contains(root) && driveList->itemData(i, kCardRole).toBool()) {
            driveList->setCurrentIndex(i);
            OnDriveChosen(i);
            return;
        }
    }
}

void CConvertToolView::ReleaseCard() {
    gridReady = 0;
    bankIndex = numberIndex = selectedPad = -1;
    store.Close();
    padView->Clear();
    bankList->setEnabled(false);
    numberList->setEnabled(false);
    driveList->setCurrentIndex(0);
}

QString CConvertToolView::OpenCardRoot() const {
    return store.IsCardOpen() ? driveList->currentData().toString() : QString();
}

void CConvertToolView::RedrawPads() {
    if (store.SelectionValid()) {
        ShowBank();
    }
}

void CConvertToolView::OnDriveChosen(int index) {
    const QString root = driveList->itemData(index).toString();
    gridReady = 0;
    bankIndex = numberIndex = selectedPad = -1;
    store.Close();
    padView->Clear();
    bankList->setEnabled(false);
    numberList->setEnabled(false);
    // The empty first entry names no folder: the card is looked for relative to the working folder, and
    // that normally fails like any other drive without the card.
    if (!store.OpenCardRoot(std::filesystem::path(root.toStdString()))) {
        // The store says why: not the card at all, or a card that is in use elsewhere, read-only, ...
        ShowMessage(QString::fromStdString(CardOpenMessage(store.LastOpenResult())));
        return;
    }
    bankList->setEnabled(true);
    numberList->setEnabled(true);
    bankList->setCurrentIndex(0);
    numberList->setCurrentIndex(0);
    OnBankChosen(0);
    OnNumberChosen(0);
}

void CConvertToolView::OnBankChosen(int index) {
    bankIndex = index;
    if (index < 0 || index > 5 || index == store.Bank()) {
        return;
    }
    store.SelectBank(index);
    if (store.SelectionValid()) {
        ShowBank();
    }
}

void CConvertToolView::OnNumberChosen(int index) {
    numberIndex = index;
    if (index < 0 || index > 11) {
        return;
    }
    store.SelectNumber(index);
    if (store.SelectionValid()) {
        ShowBank();
    }
}

void CConvertToolView::ShowBank() {
    std::array<int, 12> states{};
    for (int pad = 0; pad < padgrid::kPadCount; ++pad) {
        PadKind kind = PadKindEmpty;
        if (store.GetPadKind(pad, kind)) {
            states[static_cast<std::size_t>(pad)] = kind;
        }
    }
    padView->SetAllStates(states);
    gridReady = 1;
}

void CConvertToolView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        SelectPadAt(event->position().toPoint());
    }
    QWidget::mousePressEvent(event);
}

void CConvertToolView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The press before it has already chosen the pad.
    if (event->button() == Qt::LeftButton) {
        PadInformation();
    }
}

void CConvertToolView::SelectPadAt(const QPoint& point) {
    if (gridReady == 0 || busy != 0) {
        return;
    }
    selectedPad = padgrid::HitTestPad(point.x(), point.y());
    padView->SetSelection(selectedPad);
}

bool CConvertToolView::CommandAllowed() const {
    return gridReady != 0 && busy == 0 && selectedPad >= 0;
}

void CConvertToolView::PadInformation() {
    if (!CommandAllowed()) {
        return;
    }
    ShowPadInformation(selectedPad);
}

void CConvertToolView::ShowPadInformation(int pad) {
    store.RefreshPad(pad);
    PadKind kind = PadKindEmpty;
    if (!store.GetPadKind(pad, kind)) {
        kind = PadKindEmpty;
    }
    if (kind == PadKindMovie) {
        ShowMovieInformation(pad);
    } else if (kind == PadKindStill) {
        ShowStillInformation(pad);
        // A list that was emptied leaves an empty pad.
        const PadEntry* entry =
            store.SelectionValid() ? store.PadFile().EntryAt(store.Number(), pad) : nullptr;
        if (entry == nullptr || !entry->stills || entry->stills->stillCount == 0) {
            if (store.SelectionValid()) {
                store.PadFile().ClearPad(store.Number(), pad);
                store.PadFile().SaveBank();
            }
            padView->SetPadState(pad, PadKindEmpty);
        }
    } else {
        padView->SetPadState(pad, PadKindEmpty);
    }
}

void CConvertToolView::OnInformation() {
    if (!CommandAllowed()) {
        return;
    }
    BusyScope scope(busy);
    ShowPadInformation(selectedPad);
}

void CConvertToolView::OnImport() {
    if (!CommandAllowed()) {
        return;
    }
    BusyScope scope(busy);
    const int pad = selectedPad;
    const QString path = AskImportFile(ImportFilters(lastImportKind));
    if (path.isEmpty()) {
        return;
    }
    const PadKind kind = ImportKindOf(path);
    if (kind == PadKindEmpty) {
        ShowMessage(QString::fromLatin1(messages::kLoadFailed));
        return;
    }
    if (store.ImportFile(std::filesystem::path(path.toStdString()), pad, kind)) {
        padView->SetPadState(pad, kind);
        lastImportKind = kind;
    }
}

void CConvertToolView::OnExport() {
    if (!CommandAllowed()) {
        return;
    }
    BusyScope scope(busy);
    const int pad = selectedPad;
    PadKind kind = PadKindEmpty;
    if (!store.GetPadKind(pad, kind) || kind == PadKindEmpty) {
        return;
    }
    const QString folder = AskExportFolder();
    if (folder.isEmpty()) {
        return;
    }
    const std::filesystem::path target(folder.toStdString());
    if (kind == PadKindMovie) {
        store.ExportMovie(pad, target);
    } else {
        store.ExportStillImages(pad, target);
    }
}

void CConvertToolView::OnDelete() {
    if (!CommandAllowed()) {
        return;
    }
    BusyScope scope(busy);
    const int pad = selectedPad;
    PadKind kind = PadKindEmpty;
    if (!store.GetPadKind(pad, kind) || kind == PadKindEmpty) {
        return;
    }
    const QMessageBox::StandardButton answer = AskDeleteFiles();
    if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
        return;
    }
    store.DeletePad(pad, answer == QMessageBox::Yes);
    padView->SetPadState(pad, PadKindEmpty);
    store.RescanFileNumbers();
}

QString CConvertToolView::AskImportFile(const QStringList& filters) {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QString CConvertToolView::AskExportFolder() {
    // Only real folders can be exported to.
    return QFileDialog::getExistingDirectory(this, QString::fromLatin1(kExportFolderTitle), QString(),
                                             QFileDialog::ShowDirsOnly);
}

QMessageBox::StandardButton CConvertToolView::AskDeleteFiles() {
    return QtUserMessages::AskYesNoCancel(this, QString::fromLatin1(kDeleteQuestion));
}

void CConvertToolView::ShowMessage(const QString& text) {
    QtUserMessages::Show(this, text);
}

void CConvertToolView::ShowMovieInformation(int pad) {
    CDialogMovieInformation dialog(store, window());
    dialog.SetPad(bankIndex, numberIndex, pad);
    dialog.exec();
}

void CConvertToolView::ShowStillInformation(int pad) {
    CDialogPictureInformation dialog(store, window());
    dialog.SetPad(bankIndex, numberIndex, pad);
    dialog.exec();
}

} // namespace k72
