#pragma once
// The store's hook for the progress window of a movie import: each import gets a fresh progress
// dialog, owned by the main window.

#include "store/IConversionProgress.h"

#include <QPointer>
#include <QWidget>

namespace k72 {

class QtConversionProgress : public IConversionProgress {
public:
    explicit QtConversionProgress(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    ConversionOutcome Run(CConversionManager& manager) override;
    void SetSource(const std::filesystem::path& source) override { source_ = source; }

private:
    std::filesystem::path source_;
    QPointer<QWidget> owner_;
};

} // namespace k72
