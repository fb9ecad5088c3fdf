#pragma once

#include <QFile>
#include <QString>

namespace testsupport {

// The fixture pages of the news tests, written for these tests after the layouts the
// extractions expect.
inline QString NewsFixtureDir()
{
    return qEnvironmentVariable("BREVILO_SOURCE_DIR") + QStringLiteral("/tests/news/fixtures");
}

inline QString ReadNewsFixture(const QString& relativePath)
{
    QFile file(NewsFixtureDir() + QLatin1Char('/') + relativePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll());
}

inline const QString kSerieAFixture =
    QStringLiteral("football/speciale/2004/calcio/dati/serie_a/calendarioErisultatiultimagiornata.html");
inline const QString kSerieBFixture =
    QStringLiteral("football/speciale/2004/calcio/dati/serie_b/calendarioErisultatiultimagiornata.html");

} // namespace testsupport
