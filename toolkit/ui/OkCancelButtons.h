#pragma once
class QDialog;
class QDialogButtonBox;

namespace zelgui {
// The OK and Cancel buttons of `dialog`, wired to accept and reject, each named for
// the accessibility tree by its text (without the mnemonic's "&"). The caller places
// the box in its layout.
QDialogButtonBox* OkCancelButtons(QDialog* dialog);
}  // namespace zelgui
