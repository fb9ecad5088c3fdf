#include "frmSignIn.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

frmSignIn::frmSignIn(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSignIn"));
    setWindowTitle(QStringLiteral("Brevilo"));
    lblAccount = new QLabel(this);
    lblAccount->setObjectName(QStringLiteral("lblAccount"));
    cmdAnnulla = new QPushButton(QStringLiteral("Annulla"), this);
    cmdAnnulla->setObjectName(QStringLiteral("cmdAnnulla"));
    cmdAnnulla->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblAccount);
    layout->addWidget(cmdAnnulla, 0, Qt::AlignRight);
    connect(cmdAnnulla, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] {
        if (!m_closing)
            Q_EMIT cancelled();
    });
}

void frmSignIn::ShowFor(const QString& account)
{
    lblAccount->setText(QStringLiteral("Accedi nel browser…\nAccount: %1").arg(account));
    m_closing = false;
    open();
    cmdAnnulla->setFocus(Qt::OtherFocusReason);
}

void frmSignIn::CloseQuietly()
{
    m_closing = true;
    if (isVisible())
        reject();
    m_closing = false;
}

} // namespace app
