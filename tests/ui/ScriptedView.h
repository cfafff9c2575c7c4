#pragma once
// The main form with its windows replaced: answers come from the test, and what would be shown is
// kept. A question left without a scripted answer goes to the real window.

#include "ui/CConvertToolView.h"

#include <QComboBox>
#include <QPoint>
#include <QTest>

#include <functional>
#include <optional>
#include <vector>

namespace k72test {

class ScriptedView : public k72::CConvertToolView {
public:
    using k72::CConvertToolView::CConvertToolView;

    QStringList importAnswer;
    QString folderAnswer;
    QString cardFolderAnswer;
    std::optional<QMessageBox::StandardButton> deleteAnswer = QMessageBox::Cancel;
    std::vector<bool> yesNoAnswers; // taken from the front; none left: the real question
    std::vector<QString> messages;
    std::vector<QStringList> importFilters;
    std::vector<QString> deleteTexts;
    std::vector<QString> yesNoTexts;
    int folderQuestions = 0;
    int deleteQuestions = 0;
    std::vector<int> movieInformation;
    std::vector<int> stillInformation;
    std::function<void()> duringDialog; // runs while a command's window would be open
    // The preview: Convert (with the fits given here, when any) or Cancel; the files it was shown.
    bool previewAnswer = true;
    std::vector<k72::FitMode> previewFits;
    std::vector<QStringList> previewed;

protected:
    QStringList AskImportFiles(const QStringList& filters) override {
        importFilters.push_back(filters);
        if (duringDialog) {
            duringDialog();
        }
        return importAnswer;
    }
    bool AskPreview(const QStringList& paths, std::vector<k72::FitMode>& fits) override {
        previewed.push_back(paths);
        if (!previewFits.empty()) {
            fits = previewFits;
        }
        return previewAnswer;
    }
    QString AskExportFolder() override {
        ++folderQuestions;
        return folderAnswer;
    }
    QString AskCardFolder() override { return cardFolderAnswer; }
    QMessageBox::StandardButton AskDeleteFiles(const QString& text) override {
        ++deleteQuestions;
        deleteTexts.push_back(text);
        return deleteAnswer ? *deleteAnswer : CConvertToolView::AskDeleteFiles(text);
    }
    bool AskYesNo(const QString& text) override {
        yesNoTexts.push_back(text);
        if (yesNoAnswers.empty()) {
            return CConvertToolView::AskYesNo(text);
        }
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.erase(yesNoAnswers.begin());
        return answer;
    }
    void ShowMessage(const QString& text) override { messages.push_back(text); }
    void ShowMovieInformation(int pad) override { movieInformation.push_back(pad); }
    void ShowStillInformation(int pad) override {
        stillInformation.push_back(pad);
        if (duringDialog) {
            duringDialog();
        }
    }
};

inline void Choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

inline void Click(QWidget& view, int x, int y) {
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(x, y));
}

// The middle of pad i in the form's pixels.
inline QPoint PadPoint(int pad) {
    const int column = pad % 4;
    const int row = 2 - pad / 4;
    return QPoint(30 + 56 * column + 20, 75 + 50 * row + 20);
}

} // namespace k72test
