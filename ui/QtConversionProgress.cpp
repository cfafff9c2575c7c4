#include "ui/QtConversionProgress.h"

#include "ui/CDialogConversionInfo.h"

#include <QWidget>

namespace k72 {

ConversionOutcome QtConversionProgress::Run(CConversionManager& manager) {
    CDialogConversionInfo dialog(owner_);
    dialog.SetFileName(QString::fromStdString(source_.filename().string()));
    source_.clear();
    return dialog.Run(manager);
}

} // namespace k72
