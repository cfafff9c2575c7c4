#include "ui/CConvertToolView.h"

#include "codecs/FitGeometry.h"
#include "store/CPadBankStore.h"
#include "store/CardHistory.h"
#include "store/PadCommands.h"
#include "ui/AccessibleComboBox.h"
#include "ui/CDialogMovieInformation.h"
#include "ui/CDialogPictureInformation.h"
#include "ui/CPadView.h"
#include "ui/CardController.h"
#include "ui/DialogUnits.h"
#include "ui/DriveList.h"
#include "ui/FormCommands.h"
#include "ui/PadGeometry.h"
#include "ui/PreviewDialog.h"
#include "ui/QtUserMessages.h"
#include "ui/ReadOnlyCard.h"
#include "ui/RememberedPlaces.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStorageInfo>

#include <array>
#include <cmath>

namespace k72 {
namespace {

// Keeps a command from starting while another one runs (its dialogs let window events through).
class BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy_;
};

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int width, int height) {
    auto* label = new QLabel(text, parent);
    PlaceLabel(label, x, y, width, height);
    return label;
}

QString SizeText(qint64 bytes) {
    if (bytes >= 1024LL * 1024 * 1024) {
        return QStringLiteral("%1 GB").arg(static_cast<double>(bytes) / (1024.0 * 1024 * 1024), 0, 'f', 1);
    }
    return QStringLiteral("%1 MB").arg(bytes / (1024 * 1024));
}

} // namespace

CConvertToolView::CConvertToolView(PadCommands& commands, const QString& cardRoot, QWidget* parent)
    : QWidget(parent), padCommands_(commands), store_(commands.Store()),
      commands_(std::make_unique<FormCommands>(commands, *this)) {
    setFont(FormFont());
    InstallAccessibleComboNames(); // "Number", not the number chosen
    // The form's natural size is its smallest; it grows with its window.
    setMinimumSize(DluSize(185, 198));
    resize(minimumSize());

    QLabel* driveLabel = MakeLabel(this, QStringLiteral("K-72 Drive :"), 7, 7, 39, 8);
    driveList_ = new CDriveListBox(this);
    driveLabel->setBuddy(driveList_);
    driveList_->setAccessibleName(QStringLiteral("K-72 Drive"));
    PlaceControl(driveList_, 7, 15, 57, 12);
    driveList_->setItemDelegate(new CDriveItemDelegate(driveList_));
    driveList_->setIconSize(QSize(16, 16));

    QLabel* bankLabel = MakeLabel(this, QStringLiteral("K-72 Bank Select :"), 88, 7, 59, 8);
    bankList_ = new QComboBox(this);
    bankLabel->setBuddy(bankList_);
    bankList_->setAccessibleName(QStringLiteral("K-72 Bank"));
    PlaceControl(bankList_, 88, 15, 44, 12);
    for (const char letter : {'A', 'B', 'C', 'D', 'E', 'F'}) {
        bankList_->addItem(QStringLiteral("BANK:") + QLatin1Char(letter));
    }
    auto* dash = new QLabel(QStringLiteral("-"), this);
    dash->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    PlaceLabel(dash, 136, 17, 8, 8);
    numberList_ = new QComboBox(this);
    numberList_->setAccessibleName(QStringLiteral("Number"));
    // The number has no label of its own on the form; screen readers name a list by its label.
    auto* numberLabel = new QLabel(QStringLiteral("Number"), this);
    numberLabel->setBuddy(numberList_);
    numberLabel->hide();
    PlaceControl(numberList_, 150, 15, 28, 12);
    for (int number = 1; number <= 12; ++number) {
        numberList_->addItem(QString::number(number));
    }
    bankList_->setCurrentIndex(-1);
    numberList_->setCurrentIndex(-1);

    padView_ = new CPadView(this);
    padView_->move(padgrid::kGridLeft, padgrid::kGridTop);

    importButton_ = MakeFormButton(this, QStringLiteral("Import"), 7, 156);
    informationButton_ = MakeFormButton(this, QStringLiteral("Information"), 67, 156);
    deleteButton_ = MakeFormButton(this, QStringLiteral("Delete"), 128, 156);
    exportButton_ = MakeFormButton(this, QStringLiteral("Export"), 7, 177);
    exitButton_ = MakeFormButton(this, QStringLiteral("Exit"), 128, 177);
    for (const auto& [button, share] :
         std::initializer_list<std::pair<QPushButton*, double>>{{importButton_, 0.0},
                                                                {exportButton_, 0.0},
                                                                {informationButton_, 0.5},
                                                                {deleteButton_, 1.0},
                                                                {exitButton_, 1.0}}) {
        anchored_.push_back(Anchored{button, button->pos(), share});
    }

    card_ = new CardController(store_, driveList_, cardRoot, this);
    card_->SetBusyCheck([this] { return busy_; });
    connect(card_, &CardController::CardOpened, this, &CConvertToolView::CardOpened);
    connect(card_, &CardController::CardClosed, this, &CConvertToolView::CardClosed);
    connect(card_, &CardController::Message, this, &CConvertToolView::ShowMessage);
    connect(card_, &CardController::StatusMessage, this, &CConvertToolView::StatusMessage);
    connect(card_, &CardController::CardChanged, this, &CConvertToolView::CardChanged);
    connect(driveList_, &QComboBox::activated, card_, &CardController::ChooseDrive);
    connect(bankList_, &QComboBox::activated, this, &CConvertToolView::OnBankChosen);
    connect(numberList_, &QComboBox::activated, this, &CConvertToolView::OnNumberChosen);
    connect(importButton_, &QPushButton::clicked, this, &CConvertToolView::Import);
    connect(exportButton_, &QPushButton::clicked, this, &CConvertToolView::Export);
    connect(informationButton_, &QPushButton::clicked, this, &CConvertToolView::Information);
    connect(deleteButton_, &QPushButton::clicked, this, &CConvertToolView::Delete);
    connect(exitButton_, &QPushButton::clicked, this, &CConvertToolView::ExitRequested);
    connect(padView_, &CPadView::PadChosen, this, &CConvertToolView::ChoosePad);
    connect(padView_, &CPadView::OpenRequested, this, &CConvertToolView::Information);
    connect(padView_, &CPadView::DeleteRequested, this, &CConvertToolView::Delete);
    connect(padView_, &CPadView::FilesDropped, this, &CConvertToolView::DropFiles);
    // The pads come right after the number in the keyboard's order.
    setTabOrder(numberList_, padView_);
    setTabOrder(padView_, importButton_);

    undoAction_ = new QAction(QStringLiteral("Undo"), this);
    undoAction_->setShortcut(QKeySequence::Undo);
    redoAction_ = new QAction(QStringLiteral("Redo"), this);
    redoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    addAction(undoAction_);
    addAction(redoAction_);
    connect(undoAction_, &QAction::triggered, this, &CConvertToolView::Undo);
    connect(redoAction_, &QAction::triggered, this, &CConvertToolView::Redo);
    connect(this, &CConvertToolView::CardChanged, this, &CConvertToolView::UpdateUndo);
    UpdateButtons();
    UpdateUndo();
}

CConvertToolView::~CConvertToolView() = default;

void CConvertToolView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    InitialSetUp();
}

void CConvertToolView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

// The pads take the room a grown window gives, keeping their shape, centred where they were; the buttons
// keep to the bottom and to their side.
void CConvertToolView::Relayout() {
    const QSize natural = minimumSize();
    const int extraWidth = std::max(0, width() - natural.width());
    const int extraHeight = std::max(0, height() - natural.height());
    for (const Anchored& item : anchored_) {
        item.widget->move(item.base + QPoint(static_cast<int>(extraWidth * item.shareOfWidth), extraHeight));
    }
    const QRect area(padgrid::kGridLeft, padgrid::kGridTop, padgrid::kGridWidth + extraWidth,
                     padgrid::kGridHeight + extraHeight);
    const double scale = std::min(area.width() / static_cast<double>(padgrid::kGridWidth),
                                  area.height() / static_cast<double>(padgrid::kGridHeight));
    const QSize grid(static_cast<int>(padgrid::kGridWidth * scale),
                     static_cast<int>(padgrid::kGridHeight * scale));
    padView_->setGeometry(
        QRect(area.topLeft() + QPoint((area.width() - grid.width()) / 2, (area.height() - grid.height()) / 2),
              grid));
}

void CConvertToolView::InitialSetUp() {
    if (setUpDone_) {
        return;
    }
    setUpDone_ = true;
    bankList_->setEnabled(false);
    numberList_->setEnabled(false);
    Relayout();
    card_->Start();
}

// --- The card, through its controller ---

void CConvertToolView::UpdateDrives() {
    card_->UpdateDrives();
}

void CConvertToolView::CardTakenOut() {
    card_->CardTakenOut();
}

void CConvertToolView::ReleaseCard() {
    card_->ReleaseCard();
}

QString CConvertToolView::OpenCardRoot() const {
    return card_->OpenCardRoot();
}

QString CConvertToolView::CardRoot() const {
    return card_->CardRoot();
}

void CConvertToolView::OpenCardFolder() {
    if (busy_) {
        return;
    }
    const QString folder = AskCardFolder();
    if (!folder.isEmpty()) {
        card_->OpenCard(folder);
    }
}

void CConvertToolView::OpenCard(const QString& folder) {
    card_->OpenCard(folder);
}

void CConvertToolView::CheckCard() {
    card_->CheckCard();
}

void CConvertToolView::CardOpened(bool again) {
    // A card back again is shown where it was left; a newly opened one at BANK:A, 1; one that an import
    // kept for it was just put onto, at that pad's number.
    int bank = again ? std::max(0, bankList_->currentIndex()) : 0;
    int number = again ? std::max(0, numberList_->currentIndex()) : 0;
    bool moved = !again;
    if (const std::optional<PadLocation> where = FinishKeptImport()) {
        bank = where->bank;
        number = where->number;
        moved = true;
    }
    bankList_->setEnabled(true);
    numberList_->setEnabled(true);
    if (moved) {
        bankList_->setCurrentIndex(bank);
        numberList_->setCurrentIndex(number);
    }
    bankIndex_ = numberIndex_ = -1;
    OnBankChosen(bank);
    OnNumberChosen(number);
    UpdateUndo();
}

std::optional<PadLocation> CConvertToolView::FinishKeptImport() {
    if (!padCommands_.KeptImportFitsCard()) {
        return std::nullopt;
    }
    const PadLocation where = padCommands_.Kept()->Where();
    const QString what = QString::fromStdString(padCommands_.Kept()->SourceText());
    const QString pad = QString::fromStdString(where.Text());
    if (!AskYesNo(
            QStringLiteral("The card is back. Put %1, converted while the card was out, onto pad %2 now?")
                .arg(what, pad))) {
        padCommands_.DropKeptImport();
        return std::nullopt;
    }
    BusyScope scope(busy_);
    const StoreResult result = padCommands_.FinishKeptImport();
    ShowResult(result);
    if (!result) {
        return std::nullopt;
    }
    emit StatusMessage(QStringLiteral("Put %1 onto pad %2.").arg(what, pad));
    return where;
}

void CConvertToolView::CardClosed(bool lost) {
    // A card that went away keeps its bank and number for when it comes back.
    if (!lost) {
        bankIndex_ = numberIndex_ = -1;
    }
    gridReady_ = false;
    selectedPad_ = -1;
    padView_->Clear();
    contentCache_.Clear();
    bankList_->setEnabled(false);
    numberList_->setEnabled(false);
    UpdateButtons();
    UpdateUndo();
}

void CConvertToolView::RedrawPads() {
    if (store_.SelectionValid()) {
        ShowBank();
    }
}

void CConvertToolView::GoToNumber(int bank, int number) {
    if (!gridReady_ || busy_ || bank < 0 || bank > 5 || number < 0 || number > 11) {
        return;
    }
    bankList_->setCurrentIndex(bank);
    numberList_->setCurrentIndex(number);
    OnBankChosen(bank);
    OnNumberChosen(number);
}

// --- Bank, number and pads ---

void CConvertToolView::OnBankChosen(int index) {
    bankIndex_ = index;
    if (index < 0 || index > 5 || index == store_.Bank()) {
        return;
    }
    store_.SelectBank(index);
    if (store_.SelectionValid()) {
        ShowBank();
    }
}

void CConvertToolView::OnNumberChosen(int index) {
    numberIndex_ = index;
    if (index < 0 || index > 11) {
        return;
    }
    store_.SelectNumber(index);
    if (store_.SelectionValid()) {
        ShowBank();
    }
}

PadKind CConvertToolView::KindOf(int pad) const {
    return store_.PadKindOf(pad);
}

void CConvertToolView::ShowBank() {
    std::array<int, 12> states{};
    contentCache_.ReadOriginalNames(store_);
    for (int pad = 0; pad < padgrid::kPadCount; ++pad) {
        states[static_cast<std::size_t>(pad)] = KindOf(pad);
        const PadContent content = contentCache_.Describe(store_, pad);
        padView_->SetPadContent(pad, content.picture, content.description, content.sound);
    }
    padView_->SetAllStates(states);
    gridReady_ = true;
    UpdateButtons();
}

void CConvertToolView::ShowPad(int pad) {
    padView_->SetPadState(pad, KindOf(pad));
    contentCache_.ReadOriginalNames(store_);
    const PadContent content = contentCache_.Describe(store_, pad);
    padView_->SetPadContent(pad, content.picture, content.description, content.sound);
    UpdateButtons();
    emit CardChanged();
}

void CConvertToolView::UpdateButtons() {
    const bool padChosen = gridReady_ && selectedPad_ >= 0;
    const bool holdsSomething = padChosen && KindOf(selectedPad_) != PadKindEmpty;
    const bool readOnly = ReadOnly();
    EnableChange(importButton_, padChosen, readOnly);
    exportButton_->setEnabled(holdsSomething);
    informationButton_->setEnabled(holdsSomething);
    EnableChange(deleteButton_, holdsSomething, readOnly);
    // Nothing can be dropped onto a read-only card's pads.
    padView_->setAcceptDrops(!readOnly);
}

bool CConvertToolView::ReadOnly() const {
    return store_.IsCardOpen() && store_.IsReadOnly();
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
    if (!gridReady_ || busy_) {
        return;
    }
    // The click goes through the grid's scale back to the form at its natural size, where the raster of
    // the pads is.
    const double scale = padView_->Scale();
    const QPointF inGrid = QPointF(point - padView_->pos()) / scale;
    const int pad = padgrid::HitTestPad(padgrid::kGridLeft + static_cast<int>(std::floor(inGrid.x())),
                                        padgrid::kGridTop + static_cast<int>(std::floor(inGrid.y())));
    ChoosePad(pad);
    if (pad >= 0) {
        padView_->setFocus(Qt::MouseFocusReason);
    }
}

void CConvertToolView::ChoosePad(int pad) {
    if (!gridReady_ || busy_) {
        return;
    }
    selectedPad_ = pad;
    padView_->SetSelection(pad);
    UpdateButtons();
}

// --- The commands ---

bool CConvertToolView::CommandAllowed() const {
    return gridReady_ && !busy_ && selectedPad_ >= 0;
}

bool CConvertToolView::ChangeAllowed() {
    if (!CommandAllowed()) {
        return false;
    }
    // A key or menu command on a read-only card says why nothing happens.
    if (ReadOnly()) {
        emit StatusMessage(ReadOnlyToolTip().section(QLatin1Char('\n'), 0, 0));
        return false;
    }
    return true;
}

PadKind CConvertToolView::LastImportKind() const {
    return commands_->LastImportKind();
}

void CConvertToolView::PadInformation() {
    if (CommandAllowed()) {
        commands_->Information(selectedPad_);
    }
}

void CConvertToolView::Information() {
    if (CommandAllowed()) {
        BusyScope scope(busy_);
        commands_->Information(selectedPad_);
    }
}

void CConvertToolView::Import() {
    if (ChangeAllowed()) {
        BusyScope scope(busy_);
        commands_->Import(selectedPad_);
    }
}

void CConvertToolView::DropFiles(int pad, const QStringList& paths) {
    if (!gridReady_ || busy_ || pad < 0 || pad >= padgrid::kPadCount || paths.isEmpty() || ReadOnly()) {
        return;
    }
    ChoosePad(pad);
    if (fillDrop_ && fillDrop_(pad, paths)) {
        return;
    }
    BusyScope scope(busy_);
    commands_->DropFiles(pad, paths);
}

void CConvertToolView::Export() {
    if (CommandAllowed()) {
        BusyScope scope(busy_);
        commands_->Export(selectedPad_);
    }
}

void CConvertToolView::Delete() {
    if (ChangeAllowed()) {
        BusyScope scope(busy_);
        commands_->Delete(selectedPad_);
    }
}

void CConvertToolView::Undo() {
    StepHistory(true);
}

void CConvertToolView::Redo() {
    StepHistory(false);
}

void CConvertToolView::StepHistory(bool undo) {
    if (!gridReady_ || busy_) {
        return;
    }
    if (ReadOnly()) {
        emit StatusMessage(ReadOnlyToolTip().section(QLatin1Char('\n'), 0, 0));
        return;
    }
    StoreResult result;
    std::optional<std::string> what;
    {
        BusyScope scope(busy_);
        CardHistory history(store_);
        what = undo ? history.UndoWhat() : history.RedoWhat();
        result = undo ? history.Undo() : history.Redo();
        ShowResult(result);
    }
    const PadLocation where = result.change.where;
    if (where.Valid()) {
        GoToNumber(where.bank, where.number);
        ChoosePad(where.pad);
        emit StatusMessage((undo ? QStringLiteral("Undone: ") : QStringLiteral("Redone: ")) +
                           QString::fromStdString(what.value_or(std::string())));
    }
    RedrawPads();
    emit CardChanged();
}

void CConvertToolView::UpdateUndo() {
    std::optional<std::string> undo;
    std::optional<std::string> redo;
    if (store_.IsCardOpen() && !ReadOnly()) {
        const CardHistory history(store_);
        undo = history.UndoWhat();
        redo = history.RedoWhat();
    }
    const auto name = [](QAction* action, const QString& verb, const std::optional<std::string>& step) {
        action->setEnabled(step.has_value());
        action->setText(step ? verb + QLatin1Char(' ') + QString::fromStdString(*step) : verb);
        action->setToolTip(action->text());
        action->setStatusTip(action->text());
    };
    name(undoAction_, QStringLiteral("Undo"), undo);
    name(redoAction_, QStringLiteral("Redo"), redo);
}

// --- The status bar ---

QString CConvertToolView::CardStatusText() const {
    const QString& openRoot = card_->CardRoot();
    if (openRoot.isEmpty()) {
        return QStringLiteral("No card");
    }
    const QString card = QDir::toNativeSeparators(openRoot);
    if (card_->CardGone() || !store_.IsCardOpen()) {
        return QStringLiteral("Card %1 is not available").arg(card);
    }
    const QStorageInfo volume(QString::fromStdString(store_.CardFolder().string()));
    const Settings& settings = padCommands_.GetSettings();
    static const char* const qualities[] = {"Lowest", "Low", "Middle", "High", "Highest"};
    // The card's folder name first: the line is narrow, its tooltip holds the whole path.
    const QString name = QFileInfo(openRoot).fileName().isEmpty() ? card : QFileInfo(openRoot).fileName();
    return QStringLiteral("%1: %2 free | %3, %4%5, %6")
        .arg(ReadOnly() ? name + QStringLiteral(" (read-only)") : name)
        .arg(SizeText(volume.bytesAvailable()))
        .arg(settings.fps == 1 ? QStringLiteral("PAL 25 fps") : QStringLiteral("NTSC 29.97 fps"))
        .arg(QString::fromLatin1(qualities[settings.QualitySliderPosition()]))
        .arg(settings.deinterlace == 1 ? QStringLiteral(", deinterlace") : QString())
        .arg(QString::fromLatin1(FitWord(settings.fit)));
}

QString CConvertToolView::CardStatusToolTip() const {
    if (card_->CardRoot().isEmpty() || card_->CardGone() || !store_.IsCardOpen()) {
        return CardStatusText();
    }
    return QStringLiteral("Card: %1%2\n%3")
        .arg(QDir::toNativeSeparators(card_->CardRoot()),
             ReadOnly() ? QStringLiteral(" (read-only)") : QString(),
             CardStatusText().section(QStringLiteral(": "), 1));
}

QStringList CConvertToolView::AskImportFiles(const QStringList& filters) {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // The filters' names, not their patterns; the first, all that can be imported, is chosen.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(0));
    const QString folder = remembered::ImportFolder();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        dialog.setDirectory(folder);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

bool CConvertToolView::AskPreview(const QStringList& paths, std::vector<FitMode>& fits) {
    std::vector<std::filesystem::path> files;
    for (const QString& path : paths) {
        files.emplace_back(path.toStdString());
    }
    return PreviewDialog::Ask(this, files, padCommands_.GetSettings(), fits);
}

QString CConvertToolView::AskExportFolder() {
    // Only real folders can be exported to.
    return QFileDialog::getExistingDirectory(this, QString::fromLatin1(kExportFolderTitle),
                                             remembered::ExportFolder(), QFileDialog::ShowDirsOnly);
}

QString CConvertToolView::AskCardFolder() {
    return QFileDialog::getExistingDirectory(this, QString::fromLatin1(kCardFolderTitle),
                                             remembered::RecentCards().value(0), QFileDialog::ShowDirsOnly);
}

QMessageBox::StandardButton CConvertToolView::AskDeleteFiles(const QString& text) {
    return QtUserMessages::AskYesNoCancel(this, text, QMessageBox::Cancel);
}

bool CConvertToolView::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(QtUserMessages::kCaption), text,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void CConvertToolView::ShowMessage(const QString& text) {
    QtUserMessages::Show(this, text);
}

void CConvertToolView::ShowResult(const StoreResult& result) {
    if (!result.text.empty()) {
        ShowMessage(QString::fromStdString(result.text));
    }
}

void CConvertToolView::ShowMovieInformation(int pad) {
    CDialogMovieInformation dialog(padCommands_, window());
    dialog.SetPad(bankIndex_, numberIndex_, pad);
    dialog.exec();
}

void CConvertToolView::ShowStillInformation(int pad) {
    CDialogPictureInformation dialog(padCommands_, window());
    dialog.SetPad(bankIndex_, numberIndex_, pad);
    dialog.exec();
}

} // namespace k72
