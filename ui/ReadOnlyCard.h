#pragma once
// A card opened only to look at it (write-protected, or in a folder that cannot be written): every
// control that would change it is disabled, and its tooltip says why.

#include <QString>

class QWidget;

namespace k72 {

// The tooltip of a control that would change a read-only card.
QString ReadOnlyToolTip();

// Enables a control that changes the card when `enabled` and the card can be written. On a read-only
// card it is disabled with the read-only tooltip; its own tooltip comes back once the card can be
// written again.
void EnableChange(QWidget* control, bool enabled, bool readOnly);

} // namespace k72
