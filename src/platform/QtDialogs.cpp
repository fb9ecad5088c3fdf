#include "QtDialogs.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
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
    box.setDefaultButton(QMessageBox::Yes);
    box.exec();
    if (box.clickedButton() == third)
        return Answer::Third;
    // Escape and the close box mean No: the window stays.
    return box.clickedButton() == box.button(QMessageBox::Yes) ? Answer::Yes : Answer::No;
}

bool QtDesktop::OpenFile(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace platform
