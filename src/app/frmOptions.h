#pragma once

#include <QDialog>

namespace app {

struct ModMain;

// The configuration dialog: edits the settings variables in memory; only OK changes them.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    frmOptions(ModMain& settings, QWidget* parent = nullptr);

    // Form_Load, then modal; returns when the dialog has closed.
    void ShowModal();

    void Form_Load();

private:
    ModMain& m_settings;
};

} // namespace app
