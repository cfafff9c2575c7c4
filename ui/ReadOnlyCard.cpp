#include "ui/ReadOnlyCard.h"

#include "store/StoreMessages.h"

#include <QVariant>
#include <QWidget>

namespace k72 {
namespace {

constexpr const char* kOwnToolTip = "k72OwnToolTip";

} // namespace

QString ReadOnlyToolTip() {
    return QString::fromUtf8(messages::kCardReadOnly);
}

void EnableChange(QWidget* control, bool enabled, bool readOnly) {
    if (control == nullptr) {
        return;
    }
    const QVariant own = control->property(kOwnToolTip);
    if (readOnly) {
        if (!own.isValid()) {
            control->setProperty(kOwnToolTip, control->toolTip());
        }
        control->setToolTip(ReadOnlyToolTip());
    } else if (own.isValid()) {
        control->setToolTip(own.toString());
        control->setProperty(kOwnToolTip, QVariant());
    }
    control->setEnabled(enabled && !readOnly);
}

} // namespace k72
