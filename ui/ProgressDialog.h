#pragma once
// The progress window of work that runs beside the program's windows (a copy, a sound conversion): the
// program's caption, a bar from 0 to 1000 and Cancel, modal to the window it belongs to and centred on
// it. It appears only when its user shows it, once the work has run long enough to need it.

#include <QProgressDialog>

namespace k72 {

class ProgressDialog : public QProgressDialog {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* owner);

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace k72
