#include "SessionSettings.h"

#include "AcceptedCertificates.h"

TlsMemory TlsMemory::userSettings()
{
    return {&acceptedCertificates::forServer, &acceptedCertificates::add, &acceptedCertificates::tlsSeen,
            &acceptedCertificates::rememberTls};
}
