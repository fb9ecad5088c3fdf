// Published provider files as they may arrive: any bytes, the first byte choosing the address
// they are read for. Never crashes; what is found is always a server a setting can hold, on a
// real port, encrypted; nothing is read past the size limit.
#include "FuzzCheck.h"
#include "mail/ProviderSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const char* const addresses[] = {"anna@example.it", "a@b.c", "Anna <x.y@posta.example>", "%EMAILADDRESS%@x.it"};
    const mail::MailAddress address = mail::MailAddress::Parse(QString::fromLatin1(addresses[data[0] % 4]));
    const QByteArray xml(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    mail::ProviderMiss miss = mail::ProviderMiss::None;
    const std::optional<mail::ProviderSettings> found = mail::ParseProviderFile(xml, address, &miss);
    if (found && (!mail::IsServerName(found->host) || found->port == 0
                  || (found->security != QLatin1String("tls") && found->security != QLatin1String("starttls"))
                  || miss != mail::ProviderMiss::None || xml.size() > mail::kMaxProviderFileBytes))
        Fail("an unusable server found");
    return 0;
}
