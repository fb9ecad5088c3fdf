#pragma once

#include "ExternalServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

namespace testsupport {

// Messages as a mail reader sees them: Python's e-mail parser (tests/support/parse_message.py)
// reads each file and reports its From mailboxes, Date, Message-ID and header defects, one JSON
// object per file. An empty array when the parser could not run; `error` then says why.
inline QJsonArray ParseMessages(const QStringList& files, QString* error = nullptr)
{
    const QString script = qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/support/parse_message.py";
    QProcess parser;
    parser.start(ExternalServer::Python(), QStringList{script} + files);
    const bool ran = parser.waitForFinished(60000) && parser.exitStatus() == QProcess::NormalExit
        && parser.exitCode() == 0;
    const QJsonDocument json = QJsonDocument::fromJson(parser.readAllStandardOutput());
    if (error != nullptr)
        *error = ran ? QString() : QString::fromUtf8(parser.readAllStandardError()) + parser.errorString();
    return ran ? json.array() : QJsonArray();
}

} // namespace testsupport
