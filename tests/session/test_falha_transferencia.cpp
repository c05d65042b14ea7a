// What a failed transfer tells the user, from whatever failed: the busy panel's few
// words, and the error box's why and what became of the file.
#include "FailureText.h"
#include "FtpReplyParsers.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

// An upload of a file of 1,000 bytes, broken off at 320.
TransferRecord envioInterrompido()
{
    TransferRecord t;
    t.mode = wmWrite;
    t.name = QStringLiteral("base.fbk");
    t.remoteName = QStringLiteral("base.fbk");
    t.total = 1000;
    t.done = 320;
    t.begun = true;
    return t;
}

FailureReport relato(std::exception_ptr e, const TransferRecord& t)
{
    Failure falha = failureOf(e);
    falha.transfer = t;
    return describeFailure(falha);
}

// The server's refusal, as the component raises it: of the kind its code says.
EIdFTPError recusa(int code, const QString& texto)
{
    return EIdFTPError(ftp::refusalOf({code, texto}), texto, code);
}

// The box's middle paragraph: why.
QString porque(const FailureReport& r)
{
    return r.boxText.section(QStringLiteral("\n\n"), 1, 1);
}

TEST(FalhaDeTransferencia, ThePanelAndTheWhyComeFromWhatFailed)
{
    struct Caso {
        const char* nome;
        std::function<void()> falha;
        std::function<void(TransferRecord&)> ajuste; // the record, where the case is not envioInterrompido's
        const char* painel;
        const char* porque;
    };
    const auto nada = [](TransferRecord&) {};
    const Caso casos[] = {
        {"the data connection lost, after new attempts", [] { throw EIdFTPDataConnectionLost(QStringLiteral("Conexão de dados perdida")); },
         [](TransferRecord& t) { t.retries = 5; }, "conexão perdida em 32 %",
         "A conexão com o servidor foi perdida em 32 % e não voltou depois de 5 novas tentativas (Conexão de dados perdida)."},
        {"the server says not now (4xx)", [] { throw recusa(421, QStringLiteral("Muitas conexões")); }, nada,
         "conexão perdida em 32 %", "A conexão com o servidor foi perdida em 32 % (Muitas conexões)."},
        {"the data stopped short", [] { throw EIdFTPTransferBroken(QStringLiteral("Transferência incompleta")); }, nada,
         "transferência interrompida em 32 %", "A transferência foi interrompida em 32 % (Transferência incompleta)."},
        {"the data stopped short, after new attempts", [] { throw EIdFTPTransferBroken(QStringLiteral("Transferência incompleta")); },
         [](TransferRecord& t) { t.retries = 2; }, "transferência interrompida em 32 %",
         "A transferência foi interrompida em 32 % e não se completou depois de 2 novas tentativas (Transferência incompleta)."},
        {"a line that broke before the transfer began", [] { throw EIdFTPTransferBroken(QStringLiteral("Conexão recusada")); },
         [](TransferRecord& t) { t.begun = false; }, "o servidor não respondeu",
         "O servidor FTP não respondeu. Verifique a internet ou tente mais tarde."},
        {"no resume, at 0 %", [] { throw EIdFTPRestartRefused(QStringLiteral("REST não implementado"), 502); },
         [](TransferRecord& t) { t.done = 0; }, "o servidor não continua transferências interrompidas em 0 %",
         "A transferência foi interrompida em 0 % e o servidor não permite continuá-la: REST não implementado."},
        {"a lasting refusal", [] { throw recusa(550, QStringLiteral("Permissão negada")); }, nada, "recusado pelo servidor",
         "O servidor recusou: Permissão negada."},
        {"a reply the command does not call for", [] { throw recusa(200, QStringLiteral("Ok")); }, nada,
         "resposta inválida do servidor", "O servidor respondeu o que não se esperava: Ok."},
        {"the local file could not be read", [] { throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Erro de leitura em base.fbk")); }, nada,
         "erro no arquivo local", "Erro de leitura em base.fbk."},
        {"a failure that is no program's own", [] { throw std::runtime_error("sem memoria"); }, nada, "erro no arquivo local",
         "sem memoria."},
        {"the local file changed",
         [] { throw ESessionFailure(FailureKind::LocalFileChanged, QStringLiteral("O arquivo local base.fbk mudou")); }, nada,
         "o arquivo local mudou durante o envio",
         "O arquivo local foi alterado enquanto era enviado (mudou de tamanho ou de data de modificação). Envie-o de novo quando "
         "nenhum outro programa o estiver alterando."},
        {"the digests differ", [] { throw ESessionFailure(FailureKind::ContentMismatch, QStringLiteral("O resumo MD5 não confere")); },
         nada, "o conteúdo no servidor não confere", "O resumo MD5 não confere."},
        {"a size unknown: no share", [] { throw EIdFTPDataConnectionLost(QStringLiteral("Conexão de dados perdida.")); },
         [](TransferRecord& t) { t.total = -1; }, "conexão perdida", "A conexão com o servidor foi perdida (Conexão de dados perdida.)."},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        TransferRecord t = envioInterrompido();
        c.ajuste(t);
        try {
            c.falha();
            ADD_FAILURE() << "nothing failed";
        } catch (...) {
            const FailureReport r = relato(std::current_exception(), t);
            EXPECT_EQ(r.panel, QStringLiteral("Falha no envio: ") + QString::fromUtf8(c.painel));
            EXPECT_EQ(porque(r), QString::fromUtf8(c.porque));
            EXPECT_TRUE(r.boxText.startsWith(QStringLiteral("Não foi possível enviar o arquivo base.fbk.\n\n"))) << r.boxText.toStdString();
            EXPECT_EQ(r.box, FailureBox::Error);
            EXPECT_EQ(r.log, QStringList{r.boxText});
            EXPECT_EQ(r.outcome, r.boxText);
        }
    }
}

// A transfer that could not connect opens no box, as a listing that could not
// connect opens none: the panel says what failed, and the log, which opens, says
// why and what became of the file. Once data moved, a new attempt that cannot
// connect ends a transfer whose file has a fate to tell: the box opens.
TEST(FalhaDeTransferencia, NoBoxForATransferThatCouldNotConnect)
{
    const struct Caso {
        const char* nome;
        TWorkMode modo;
        bool comecou;
        FailureKind tipo;
        const char* painel;
        FailureBox caixa;
    } casos[] = {
        {"an upload, no answer", wmWrite, false, FailureKind::ConnectionLost, "Falha no envio: o servidor não respondeu", FailureBox::None},
        {"a download, no answer", wmRead, false, FailureKind::ConnectionLost, "Falha no download: o servidor não respondeu", FailureBox::None},
        {"an upload, login refused", wmWrite, false, FailureKind::RefusedByServer, "Falha no envio: recusado pelo servidor", FailureBox::None},
        {"an upload, interception", wmWrite, false, FailureKind::InterceptionSuspected, "Falha no envio: possível interceptação da conexão",
         FailureBox::None},
        {"an upload whose new attempt could not connect", wmWrite, true, FailureKind::ConnectionLost,
         "Falha no envio: conexão perdida em 32 %", FailureBox::Error},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        Failure falha(c.tipo, QStringLiteral("Conexão recusada."));
        falha.operation = c.modo == wmWrite ? Operation::Upload : Operation::Download;
        falha.whileConnecting = true;
        falha.transfer = envioInterrompido();
        falha.transfer->mode = c.modo;
        falha.transfer->begun = c.comecou;
        const FailureReport r = describeFailure(falha);
        EXPECT_EQ(r.panel, QString::fromUtf8(c.painel));
        EXPECT_EQ(r.box, c.caixa);
        EXPECT_EQ(r.boxText.isEmpty(), c.caixa == FailureBox::None);
        ASSERT_EQ(r.log.size(), 1);
        EXPECT_TRUE(r.log[0].startsWith(c.modo == wmWrite ? QStringLiteral("Não foi possível enviar o arquivo base.fbk.\n\n")
                                                          : QStringLiteral("Não foi possível baixar o arquivo base.fbk.\n\n")))
            << r.log[0].toStdString();
        EXPECT_EQ(r.outcome, r.log[0]);
    }
}

TEST(FalhaDeTransferencia, TheBoxSaysWhatBecameOfTheFile)
{
    struct Caso {
        const char* nome;
        std::function<void(TransferRecord&)> ajuste;
        const char* destino;
    };
    const Caso casos[] = {
        {"a new upload, nothing left", [](TransferRecord&) {},
         "O arquivo não foi enviado; nenhum arquivo chamado base.fbk foi criado no servidor."},
        {"over an earlier copy, a piece that a new upload continues",
         [](TransferRecord& t) {
             t.replacing = true;
             t.resumable = true;
             t.leftOver = QStringLiteral("base.fbk.3e8-1.parcial");
             t.leftOverBytes = 320;
         },
         "O arquivo não foi enviado. A cópia anterior no servidor foi mantida.\nA parte já enviada ficou no servidor como "
         "base.fbk.3e8-1.parcial; um novo envio deste arquivo pode continuar dela."},
        {"under a unique name, a piece nobody continues",
         [](TransferRecord& t) {
             t.remoteName = QStringLiteral("20240131_base.fbk");
             t.leftOver = QStringLiteral("20240131_base.fbk.3e8-1.parcial");
             t.leftOverBytes = 320;
         },
         "O arquivo não foi enviado; nenhum arquivo chamado 20240131_base.fbk foi criado no servidor.\nUma parte incompleta ficou no "
         "servidor como 20240131_base.fbk.3e8-1.parcial."},
        {"a temporary name with nothing in it is not mentioned",
         [](TransferRecord& t) {
             t.resumable = true;
             t.leftOver = QStringLiteral("base.fbk.3e8-1.parcial");
         },
         "O arquivo não foi enviado; nenhum arquivo chamado base.fbk foi criado no servidor."},
        {"a download over a local file", [](TransferRecord& t) {
             t.mode = wmRead;
             t.replacing = true;
         },
         "O arquivo não foi baixado. O arquivo local anterior foi mantido como estava."},
        {"a download to a new file", [](TransferRecord& t) { t.mode = wmRead; },
         "O arquivo não foi baixado; nenhum arquivo foi gravado no seu lugar."},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        TransferRecord t = envioInterrompido();
        c.ajuste(t);
        const FailureReport r = relato(std::make_exception_ptr(recusa(550, QStringLiteral("Permissão negada"))), t);
        const QString titulo = t.mode == wmWrite ? QStringLiteral("Não foi possível enviar o arquivo base.fbk.")
                                                 : QStringLiteral("Não foi possível baixar o arquivo base.fbk.");
        EXPECT_EQ(r.boxText, titulo + QStringLiteral("\n\nO servidor recusou: Permissão negada.\n\n") + QString::fromUtf8(c.destino));
    }
}

}

namespace {

// Outside a transfer (a listing, a deletion, a send refused before it began): what
// each kind makes the panel, the box, the log and a run without a window say. The
// failure's own words are "Motivo técnico."
TEST(FalhaForaDeTransferencia, EachKindHasItsWords)
{
    struct Caso {
        FailureKind tipo;
        Operation operacao;
        bool conectando;
        const char* painel;
        FailureBox caixa;
        const char* frase; // what the log adds after the failure's own words; nullptr: the log gets nothing
    };
    const char* const semResposta = "O servidor FTP não respondeu. Verifique a internet ou tente mais tarde.";
    const char* const recusou = "O servidor FTP recusou a operação. Tente de novo; se continuar, fale com o suporte da Quintara.";
    const Caso casos[] = {
        {FailureKind::ConnectionLost, Operation::Listing, true, "Falha ao conectar: o servidor não respondeu", FailureBox::None, semResposta},
        {FailureKind::TransferBroken, Operation::Listing, false, "Falha ao listar os arquivos: o servidor não respondeu", FailureBox::None,
         semResposta},
        {FailureKind::ServerFull, Operation::Deletion, false, "Falha ao excluir o arquivo: recusado pelo servidor", FailureBox::None, recusou},
        {FailureKind::NotThere, Operation::Listing, false, "Falha ao listar os arquivos: recusado pelo servidor", FailureBox::None, recusou},
        {FailureKind::FileRefused, Operation::Deletion, false, "Falha ao excluir o arquivo: recusado pelo servidor", FailureBox::None, recusou},
        {FailureKind::RefusedByServer, Operation::Listing, true, "Falha ao conectar: o servidor recusou o acesso", FailureBox::None,
         "O servidor FTP recusou o acesso. Tente mais tarde; se continuar, fale com o suporte da Quintara."},
        {FailureKind::UnexpectedReply, Operation::Listing, false, "Falha ao listar os arquivos: resposta inválida do servidor",
         FailureBox::None,
         "O servidor FTP respondeu de forma inesperada. Tente mais tarde; se continuar, fale com o suporte da Quintara."},
        {FailureKind::RestartRefused, Operation::Download, false, "Falha no download: Motivo técnico", FailureBox::None, ""},
        {FailureKind::RenameRefused, Operation::Upload, false, "Falha no envio: Motivo técnico", FailureBox::None, ""},
        {FailureKind::CertificateRefused, Operation::Listing, true, "Falha ao conectar: o certificado do servidor não foi aceito",
         FailureBox::None,
         "A conexão não foi feita porque o certificado do servidor FTP não foi aceito. Fale com o suporte da Quintara."},
        {FailureKind::InterceptionSuspected, Operation::Upload, true, "Falha ao conectar: possível interceptação da conexão", FailureBox::None,
         "A conexão foi encerrada antes do login: a senha e os arquivos não foram enviados. Fale com o suporte da Quintara."},
        {FailureKind::NameIsFolder, Operation::Upload, false, "Falha no envio: Motivo técnico", FailureBox::None, ""},
        {FailureKind::RemoteFileNotFound, Operation::Download, false, "Falha no download: Motivo técnico", FailureBox::Error, ""},
        {FailureKind::LocalFileChanged, Operation::Upload, false, "Falha no envio: Motivo técnico", FailureBox::None, ""},
        {FailureKind::ContentMismatch, Operation::Download, false, "Falha no download: Motivo técnico", FailureBox::None, ""},
        {FailureKind::NotAFile, Operation::Upload, false, "Falha no envio: Motivo técnico", FailureBox::Warning, nullptr},
        {FailureKind::UnreadableFile, Operation::Upload, false, "Falha no envio: Motivo técnico", FailureBox::Error, ""},
        {FailureKind::LocalFileError, Operation::Listing, false, "Falha ao listar os arquivos: Motivo técnico", FailureBox::None, ""},
        {FailureKind::LocalFileError, Operation::Identification, false, "", FailureBox::None, ""},
        {FailureKind::Cancelled, Operation::Listing, true, "", FailureBox::None, ""},
        {FailureKind::Declined, Operation::Download, false, "", FailureBox::None, ""},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.tipo)) + " " + c.painel);
        Failure falha(c.tipo, QStringLiteral("Motivo técnico."));
        falha.operation = c.operacao;
        falha.whileConnecting = c.conectando;
        const FailureReport r = describeFailure(falha);
        EXPECT_EQ(r.panel, QString::fromUtf8(c.painel));
        EXPECT_EQ(r.box, c.caixa);
        EXPECT_EQ(r.boxText, c.caixa == FailureBox::None ? QString() : QStringLiteral("Motivo técnico."));
        QStringList log;
        if (c.frase) {
            log << QStringLiteral("Motivo técnico.");
            if (*c.frase)
                log << QString::fromUtf8(c.frase);
        }
        EXPECT_EQ(r.log, log);
        EXPECT_EQ(r.outcome, QStringLiteral("Motivo técnico."));
    }
}

// A cancel, or a step the user declined, in a transfer: no failure to show, the line
// that says so, whatever the transfer's record holds.
TEST(FalhaDeTransferencia, TheUsersOwnChoiceIsNoFailedTransfer)
{
    for (const FailureKind tipo : {FailureKind::Cancelled, FailureKind::Declined}) {
        Failure falha(tipo, QStringLiteral("Transferência cancelada pelo usuário"));
        falha.transfer = envioInterrompido();
        const FailureReport r = describeFailure(falha);
        EXPECT_TRUE(r.panel.isEmpty());
        EXPECT_EQ(r.box, FailureBox::None);
        EXPECT_EQ(r.log, QStringList{QStringLiteral("Transferência cancelada pelo usuário")});
        EXPECT_FALSE(failsTheTransfer(tipo));
    }
}

}
