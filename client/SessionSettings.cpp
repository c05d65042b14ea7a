#include "SessionSettings.h"

#include "AcceptedCertificates.h"
#include "TlsSeenMemory.h"

TlsMemory TlsMemory::userSettings()
{
    return {&acceptedCertificates::forServer, &acceptedCertificates::add, &tlsSeenMemory::seen, &tlsSeenMemory::remember};
}
