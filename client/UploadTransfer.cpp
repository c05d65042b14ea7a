// An upload's side of the transfer loop. Where the login may rename, the data
// travels under a temporary name beside the final one (PartialUploadName.h), goes
// on from the server's size of that file once its last bytes are seen to be ours,
// is checked against the local file (unchanged since the start, same size, same
// digest, or same sampled ranges after a resume) and only then takes the final
// name, after a last look that the name is still free or still holds the file the
// user agreed to replace. Where the login may not rename, the data goes straight
// under the final name, as plain FTP clients send, and the log says so.
//
// Nothing is deleted or replaced before the new copy can take its place: a server
// that will not rename onto an existing name gets the old copy moved aside first,
// and back again if the new one cannot take the name.
#include "TransferMachine.h"

#include "FileDigest.h"
#include "Formatos.h"
#include "FtpCancel.h"
#include "FtpSessionCalls.h"
#include "LocalFile.h"
#include "PartialUploadName.h"
#include "VisibleText.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>

#include <algorithm>
#include <vector>

namespace {

QString shown(const QString& text) { return visibleText(text); }

// "1,2 GB", as the busy panel writes amounts.
QString amount(std::int64_t bytes)
{
    return TextoBytes(bytes, programLocale());
}

}

QByteArray FtpSession::Transfers::randomTag(char lead)
{
    return lead + QByteArray::number(QRandomGenerator::global()->generate(), 36).left(7);
}

QByteArray FtpSession::Transfers::localBytes(const QString& path, std::int64_t offset, std::int64_t length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return file.read(length);
}

class FtpSession::Transfers::UploadDirection final : public TransferDirection {
public:
    UploadDirection(Transfers& transfers, Upload& upload, const LocalFileState& before, const RemoteName& partial, bool direct)
        : TransferDirection(transfers, wmWrite), m_upload(upload), m_before(before), m_partial(partial), m_direct(direct)
    {
    }

    // Where the data goes: the temporary name, or the final one when the server
    // does not rename.
    const RemoteName& target() const { return m_direct ? m_upload.finalName : m_partial; }

    std::int64_t resumePoint() override
    {
        // After a broken line the server cannot hold more than was sent: a size
        // beyond that is not of this file.
        const std::int64_t sent = std::max(m_startedAt, record().done);
        const RemoteFileInfo there = session().ftp([&] { return session().m_ftp->FileInfo(target()); });
        if (!there.exists || there.size <= 0)
            return 0;
        if (there.size <= std::min(sent, m_before.size) && transfers().remoteEndMatches(target(), m_upload.localPath, there.size)) {
            noteResume(there.size);
            return there.size;
        }
        events().log(QStringLiteral("O servidor mostra %1 bytes em %2, que não conferem com o que foi enviado: o envio recomeça do início")
                         .arg(there.size)
                         .arg(shown(target().displayText())));
        if (!m_direct)
            freshPartial();
        return 0;
    }

    // A temporary file of this file's name that holds other bytes: another
    // machine's upload, perhaps running now. Never touched.
    void setForeign(const RemoteName& name) { m_foreign = name; }

    void moveData(std::int64_t from) override
    {
        if (!m_direct)
            record().leftOver = m_partial.displayText();
        record().overwritten = m_direct && m_upload.replacing.has_value();
        if (from < m_before.size || m_before.size == 0)
            transfers().dataPhase(from, [&] { session().m_ftp->Put(m_upload.localPath, target(), false, from); });
        record().done = m_before.size;
        record().leftOverBytes = m_before.size;
    }

    TransferCheck checkSize() override
    {
        if (LocalFileState::of(m_upload.localPath) != m_before) {
            // What the server has is a mix of two versions: of no use to anyone.
            dropTemporary();
            throw ESessionFailure(FailureKind::LocalFileChanged,
                                 QStringLiteral("O arquivo local %1 mudou durante o envio").arg(QDir::toNativeSeparators(m_upload.localPath)));
        }
        const std::int64_t total = m_before.size;
        const RemoteFileInfo stored = session().ftp([&] { return session().m_ftp->FileInfo(target()); });
        // The server said the data was stored, and keeps none of it: sending again
        // would end the same way.
        if (!stored.exists || (stored.size == 0 && total > 0)) {
            record().leftOver.clear();
            record().leftOverBytes = 0;
            throw ESessionFailure(FailureKind::RefusedByServer,
                                 QStringLiteral("o servidor confirmou o envio, mas não guardou o arquivo %1").arg(shown(target().displayText())));
        }
        if (stored.size >= 0 && stored.size != total) {
            record().leftOverBytes = std::min(stored.size, total);
            throw ESessionFailure(FailureKind::TransferBroken,
                                 QStringLiteral("Envio incompleto: o servidor guardou %1 de %2 bytes").arg(stored.size).arg(total));
        }
        if (stored.size < 0) {
            events().log(QStringLiteral("O servidor não informou o tamanho de %1 para conferência").arg(shown(target().displayText())));
            return TransferCheck::Unconfirmed;
        }
        events().log(QStringLiteral("Tamanho conferido no servidor: %1 bytes").arg(total));
        return TransferCheck::Size;
    }

    DigestPair digestPair() override
    {
        return {target(), m_upload.localPath, m_before.size, QStringLiteral("arquivo no servidor"), QStringLiteral("arquivo local"), true};
    }

    // Without a digest, a file that was put together from more than one attempt is
    // read back where the pieces meet and at a few places between.
    void checkWithoutDigest() override
    {
        if (m_resumedAt.empty())
            return;
        const std::int64_t total = m_before.size;
        std::vector<std::int64_t> starts{0, total / 3, 2 * total / 3, total - kResumeCheckBytes};
        for (const std::int64_t joint : m_resumedAt)
            starts.push_back(joint - kResumeCheckBytes / 2);
        for (std::int64_t& start : starts)
            start = std::clamp<std::int64_t>(start, 0, std::max<std::int64_t>(total - kResumeCheckBytes, 0));
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (const std::int64_t start : starts) {
            const std::int64_t length = std::min(kResumeCheckBytes, total - start);
            const QByteArray theirs = session().ftp([&] { return session().m_ftp->ReadRange(target(), start, length); });
            if (theirs != localBytes(m_upload.localPath, start, length))
                throw ESessionFailure(FailureKind::ContentMismatch,
                                     QStringLiteral("O arquivo no servidor não confere com o arquivo local nos bytes %1 a %2")
                                         .arg(start)
                                         .arg(start + length));
        }
        events().log(QStringLiteral("Arquivo %1 conferido em %2 trechos lidos de volta do servidor")
                         .arg(shown(record().name))
                         .arg(starts.size()));
    }

    void place() override
    {
        if (m_direct) {
            // The data went under its final name; the last look came before it went.
            record().leftOver.clear();
            return;
        }
        transfers().claimName(m_upload, record());
        m_renameSent = true;
        try {
            session().ftp([&] { session().m_ftp->Rename(m_partial, m_upload.finalName); });
            session().m_mayRename = true;
        } catch (const ESessionFailure& e) {
            if (!isRefusal(e.kind()))
                throw;
            events().log(e.Message());
            // Refused onto an existing name: perhaps only that.
            if (session().ftp([&] { return session().m_ftp->FileInfo(m_upload.finalName); }).exists)
                replaceAside();
            else
                renameRefused();
        }
        record().leftOver.clear();
    }

    // The server refused to rename our own file: this login may not rename. The
    // file goes again, straight under its final name, where the user agreed to it
    // (or it was free) a moment ago.
    [[noreturn]] void renameRefused()
    {
        session().m_mayRename = false;
        m_direct = true;
        m_dropAfter = m_partial;
        record().leftOver.clear();
        record().resumable = false;
        m_resumedAt.clear();
        throw ESessionFailure(FailureKind::RenameRefused,
                             QStringLiteral("O servidor não permite renomear arquivos: sem o envio seguro (com nome temporário), o arquivo "
                                            "vai de novo, direto com o nome final"));
    }

    // A rename whose reply was lost with the line: the folder tells whether it
    // happened.
    bool placedMeanwhile() override
    {
        if (!m_renameSent || m_direct)
            return false;
        if (session().ftp([&] { return session().m_ftp->FileInfo(m_partial); }).exists)
            return false;
        const RemoteFileInfo placed = session().ftp([&] { return session().m_ftp->FileInfo(m_upload.finalName); });
        if (!placed.exists || placed.size != m_before.size)
            return false;
        events().log(QStringLiteral("O arquivo %1 já tem o nome final no servidor").arg(shown(m_upload.finalName.displayText())));
        record().leftOver.clear();
        return true;
    }

    // The shared folder of unidentified clients is never listed: its temporary
    // files go with the run that made them (FtpSession::sendFile).
    void afterPlace() override
    {
        if (!m_dropAfter.isEmpty()) {
            const RemoteName copy = std::exchange(m_dropAfter, {});
            try {
                session().ftp([&] { session().m_ftp->Delete(copy); });
            } catch (const Exception& e) {
                events().log(QStringLiteral("A cópia de %1 enviada com nome temporário não pôde ser excluída: %2")
                                 .arg(shown(copy.displayText()), e.Message()));
            }
        }
        if (!m_upload.uniqueName)
            transfers().removeStalePartials(m_upload.finalName, m_before.identity(), m_foreign);
    }

    // What the server holds is overwritten from the first byte.
    bool startOver() override
    {
        m_resumedAt.clear();
        return true;
    }
    void lineBroke() override { record().leftOverBytes = std::max(record().leftOverBytes, record().done); }
    void discardBadCopy() override { dropTemporary(); }

    // The first attempt goes on from an interrupted upload of an earlier run.
    void resumedFrom(std::int64_t from)
    {
        m_startedAt = from;
        if (from > 0)
            noteResume(from);
    }

    // A temporary name that nothing else uses: the one found holds bytes that are
    // not this file's.
    void freshPartial()
    {
        m_partial = RemoteName::fromBytes(freshPartialUploadName(m_upload.finalName.bytes(), m_before.identity(), randomTag('n')));
        record().leftOver = m_partial.displayText();
        record().resumable = false;
        m_resumedAt.clear();
    }

    // The temporary file of an upload that nothing can continue.
    void dropTemporary()
    {
        record().leftOver.clear();
        if (m_direct)
            return;
        try {
            session().ftp([&] { session().m_ftp->Delete(m_partial); });
        } catch (const ESessionFailure& e) {
            if (e.kind() == FailureKind::Cancelled)
                throw;
        }
    }

private:
    void noteResume(std::int64_t at)
    {
        if (std::find(m_resumedAt.begin(), m_resumedAt.end(), at) == m_resumedAt.end())
            m_resumedAt.push_back(at);
    }

    // The server does not rename onto an existing name: the old copy goes aside, the
    // new one takes the name, and only then is the old one deleted. Any failure on
    // the way puts the old one back.
    void replaceAside()
    {
        const RemoteName& finalName = m_upload.finalName;
        const RemoteName aside = RemoteName::fromBytes(freshPartialUploadName(finalName.bytes(), m_before.identity(), randomTag('a')));
        try {
            session().ftp([&] { session().m_ftp->Rename(finalName, aside); });
        } catch (const ESessionFailure& e) {
            if (!isRefusal(e.kind()))
                throw;
            events().log(e.Message());
            renameRefused();
        }
        events().log(QStringLiteral("O servidor não substitui um arquivo ao renomear: a cópia anterior de %1 ficou como %2 até a nova, "
                                    "já conferida, ter o nome")
                         .arg(shown(finalName.displayText()), shown(aside.displayText())));
        try {
            session().ftp([&] { session().m_ftp->Rename(m_partial, finalName); });
        } catch (...) {
            try {
                session().m_ftp->Rename(aside, finalName);
                events().log(QStringLiteral("A cópia anterior de %1 voltou ao seu nome").arg(shown(finalName.displayText())));
            } catch (const Exception& e) {
                events().log(e.Message());
                record().previousKeptAs = aside.displayText();
            }
            throw;
        }
        try {
            session().ftp([&] { session().m_ftp->Delete(aside); });
        } catch (const ESessionFailure& e) {
            if (e.kind() == FailureKind::Cancelled)
                throw;
            events().log(QStringLiteral("A cópia anterior de %1 não pôde ser excluída e ficou no servidor como %2: %3")
                             .arg(shown(finalName.displayText()), shown(aside.displayText()), e.Message()));
        }
    }

    Upload& m_upload;
    const LocalFileState m_before;
    RemoteName m_partial;
    bool m_direct;
    std::int64_t m_startedAt = 0;
    std::vector<std::int64_t> m_resumedAt; // where attempts went on from what the server held
    bool m_renameSent = false;
    RemoteName m_foreign;
    RemoteName m_dropAfter; // a whole copy under a temporary name, once the file is in place
};

FtpSession::SentFile FtpSession::Transfers::sendFile(Upload upload)
{
    const LocalFileState before = LocalFileState::of(upload.localPath);
    const std::int64_t total = before.size;
    if (upload.uniqueName) {
        upload.finalName = upload.uniqueName(upload.uniqueTry = freeUniqueName(upload, 1));
        s.m_events.uniqueNameChosen(upload.finalName.displayText());
        s.m_events.log(upload.finalName.displayText());
    }
    s.m_transfer->remoteName = upload.finalName.displayText();

    // A login known not to rename gets the file under its final name at once.
    const bool direct = s.m_mayRename == false;
    RemoteName partial;
    RemoteName foreign;
    std::int64_t from = 0;
    if (direct) {
        // The last look at the name comes before the data goes under it.
        claimName(upload, *s.m_transfer);
    } else if (upload.uniqueName) {
        // The name holds the time: no earlier run sent under it, so there is nothing
        // to continue; nor may two runs of the same second share a temporary file.
        partial = RemoteName::fromBytes(freshPartialUploadName(upload.finalName.bytes(), before.identity(), randomTag('u')));
    } else {
        // Its name tells that it came from this very file (same size and time); its
        // last bytes must tell it too.
        partial = RemoteName::fromBytes(partialUploadName(upload.finalName.bytes(), before.identity()));
        const RemoteFileInfo there = s.ftp([&] { return s.m_ftp->FileInfo(partial); });
        if (upload.offerResume && there.exists && there.size > 0) {
            if (there.size > total || !remoteEndMatches(partial, upload.localPath, there.size)) {
                s.m_events.log(QStringLiteral("O envio interrompido %1 não confere com o arquivo local: o envio começa do início, com outro "
                                            "nome temporário")
                                 .arg(shown(partial.displayText())));
                foreign = partial;
                partial = RemoteName::fromBytes(freshPartialUploadName(upload.finalName.bytes(), before.identity(), randomTag('n')));
            } else if (s.m_events.resumeInterruptedUpload(s.m_transfer->name, there.size, total)) {
                from = there.size;
                s.m_events.log(QStringLiteral("Continuando o envio interrompido de %1 a partir de %2 de %3")
                                 .arg(shown(s.m_transfer->name), amount(from), amount(total)));
            }
        }
    }
    s.m_transfer->resumable = upload.offerResume && !direct && !upload.uniqueName;
    s.m_transfer->total = total;
    s.m_transfer->begun = true;
    s.m_transfer->done = from;
    s.m_events.transferBegin(wmWrite, total);
    if (from > 0)
        s.m_events.transferProgress(wmWrite, from);

    UploadDirection direction(*this, upload, before, partial, direct);
    direction.resumedFrom(from);
    direction.setForeign(foreign);
    try {
        const TransferCheck check = run(direction, from);
        return {upload.finalName.displayText(), check};
    } catch (const ERemoteNameTaken&) {
        throw;
    } catch (...) {
        // A temporary file under a name no later run looks for is of no use once
        // this one has given up.
        if (!s.m_transfer->resumable && !direct && s.Connected() && s.m_state != State::Cancelling)
            direction.dropTemporary();
        throw;
    }
}
