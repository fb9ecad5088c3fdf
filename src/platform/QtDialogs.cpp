#include "QtDialogs.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QUrl>

namespace platform {

namespace {
const QString kTitle = QStringLiteral("Brevilo");

QMessageBox::Icon ToQt(IDialogs::Icon icon)
{
    switch (icon) {
    case IDialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case IDialogs::Icon::Information:
        return QMessageBox::Information;
    case IDialogs::Icon::Critical:
        return QMessageBox::Critical;
    case IDialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void QtDialogs::ShowMessage(const QString& text, Icon icon)
{
    QMessageBox box(ToQt(icon), kTitle, text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtDialogs::AskYesNo(const QString& text)
{
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

IDialogs::Answer QtDialogs::AskYesNoOr(const QString& text, const QString& thirdButton)
{
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    QPushButton* third = box.addButton(thirdButton, QMessageBox::AcceptRole);
    third->setObjectName(QStringLiteral("cmdThird"));
    // Enter must not lose anything: the third button, which keeps everything, is the default.
    box.setDefaultButton(third);
    box.exec();
    if (box.clickedButton() == third)
        return Answer::Third;
    // Escape and the close box mean No: the window stays.
    return box.clickedButton() == box.button(QMessageBox::Yes) ? Answer::Yes : Answer::No;
}

void QtDialogs::AskPassword(const QString& user, const QString& host, bool storeAvailable,
                            std::function<void(PasswordAnswer)> done)
{
    auto* dialog = new QDialog(m_parent);
    dialog->setObjectName(QStringLiteral("dlgPassword"));
    dialog->setWindowTitle(kTitle);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    auto* prompt = new QLabel(QStringLiteral("Password dell'utente %1 sul server %2:").arg(user, host), dialog);
    prompt->setObjectName(QStringLiteral("lblPassword"));
    prompt->setTextFormat(Qt::PlainText);
    layout->addWidget(prompt);
    auto* field = new QLineEdit(dialog);
    field->setObjectName(QStringLiteral("txtPassword"));
    field->setEchoMode(QLineEdit::Password);
    layout->addWidget(field);
    auto* remember = new QCheckBox(QStringLiteral("Ricorda la password"), dialog);
    remember->setObjectName(QStringLiteral("chkRicorda"));
    remember->setChecked(storeAvailable);
    remember->setEnabled(storeAvailable);
    layout->addWidget(remember);
    if (!storeAvailable) {
        auto* note = new QLabel(QStringLiteral("Portachiavi del desktop non disponibile: la password resterà "
                                               "in memoria solo fino alla chiusura del programma."),
                                dialog);
        note->setObjectName(QStringLiteral("lblNoStore"));
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true); // Enter in the field is OK
    // AUTH PLAIN separates user and password with NUL: a pasted NUL would shift that framing.
    auto* nul = new QLabel(QStringLiteral("La password non può contenere il carattere NUL."), dialog);
    nul->setObjectName(QStringLiteral("lblNul"));
    nul->hide();
    layout->addWidget(nul);
    QObject::connect(field, &QLineEdit::textChanged, dialog, [buttons, nul](const QString& text) {
        const bool refused = text.contains(QChar(0));
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!refused);
        nul->setVisible(refused);
    });
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(dialog, &QDialog::finished, dialog, [field, remember, done = std::move(done)](int result) {
        PasswordAnswer answer;
        answer.answered = result == QDialog::Accepted;
        if (answer.answered) {
            answer.password = field->text();
            answer.remember = remember->isEnabled() && remember->isChecked();
        }
        field->clear();
        done(answer);
    });
    field->setFocus();
    dialog->open();
}

void QtDialogs::AskTrust(const QString& text, std::function<void(bool)> done)
{
    auto* box = new QMessageBox(QMessageBox::Warning, kTitle, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box->setObjectName(QStringLiteral("msgTrust"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    QObject::connect(box, &QMessageBox::finished, box, [box, done = std::move(done)] {
        done(box->clickedButton() == box->button(QMessageBox::Yes));
    });
    box->open();
}

bool QtDesktop::OpenFile(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace platform
