#include "SessionFailure.h"

FailureKind kindOf(FtpFailure failure)
{
    switch (failure) {
    case FtpFailure::ConnectionLost:
    case FtpFailure::DataConnectionLost:
    // A refusal for now passes with time: the transfer tries again, as after a break.
    case FtpFailure::NotNow:
        return FailureKind::ConnectionLost;
    case FtpFailure::TransferBroken:
        return FailureKind::TransferBroken;
    case FtpFailure::InsufficientStorage:
        return FailureKind::ServerFull;
    case FtpFailure::NotThere:
        return FailureKind::NotThere;
    case FtpFailure::FileUnavailable:
    // Only the folder walk asks MKD, and it knows what a folder already there means.
    case FtpFailure::AlreadyThere:
        return FailureKind::FileRefused;
    case FtpFailure::Refused:
        return FailureKind::RefusedByServer;
    case FtpFailure::RestartRefused:
        return FailureKind::RestartRefused;
    case FtpFailure::UnexpectedReply:
        return FailureKind::UnexpectedReply;
    case FtpFailure::UntrustedCertificate:
        return FailureKind::CertificateRefused;
    case FtpFailure::InterceptionSuspected:
        return FailureKind::InterceptionSuspected;
    case FtpFailure::LocalFile:
        return FailureKind::LocalFileError;
    case FtpFailure::Cancelled:
        return FailureKind::Cancelled;
    }
    return FailureKind::LocalFileError;
}

Failure failureOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ESessionFailure& e) {
        return e.failure();
    } catch (const EIdFTPError& e) {
        return {kindOf(e.failure()), e.Message()};
    } catch (const Exception& e) {
        return {FailureKind::LocalFileError, e.Message()};
    } catch (const std::exception& e) {
        return {FailureKind::LocalFileError, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        return {FailureKind::LocalFileError, QStringLiteral("Erro inesperado")};
    }
}
