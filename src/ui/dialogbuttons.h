#pragma once

class QDialog;
class QHBoxLayout;

namespace zelbrin::ui {

// The row of "确 定(&O)" (okButton, the default) and "取 消(&C)" (cancelButton) at the right
// that closes dialog with OK or Cancel; the caller puts it into its layout.
QHBoxLayout *okCancelRow(QDialog *dialog);

}  // namespace zelbrin::ui
