#include "CommandLine.h"

namespace {

const QString kEnviar = QStringLiteral("--enviar");
const QString kSubstituir = QStringLiteral("--substituir");
const QString kLog = QStringLiteral("--log");
const QString kVersao = QStringLiteral("--versao");
const QStringList kAjuda{QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--ajuda")};

// "--enviar" or "--enviar=..."
bool isOption(const QString& arg, const QString& name)
{
    return arg == name || arg.startsWith(name + QLatin1Char('='));
}

}

bool choosesCommandMode(const QString& firstArgument, bool namesAFile)
{
    if (namesAFile)
        return false;
    return isOption(firstArgument, kEnviar) || isOption(firstArgument, kLog) || firstArgument == kSubstituir ||
           firstArgument == kVersao || kAjuda.contains(firstArgument);
}

CommandOptions parseCommandLine(const QStringList& args)
{
    // Asking for help or the version is never wrong, whatever else is there.
    for (const QString& arg : args) {
        if (kAjuda.contains(arg))
            return {CommandOptions::Action::Help, {}, false, {}};
    }
    for (const QString& arg : args) {
        if (arg == kVersao)
            return {CommandOptions::Action::Version, {}, false, {}};
    }

    CommandOptions options;
    bool hasFile = false;
    bool hasLog = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const auto value = [&](const QString& name) {
            QString v;
            if (arg.size() > name.size()) {
                v = arg.mid(name.size() + 1);
            } else {
                if (i + 1 >= args.size())
                    throw EBadUsage(QStringLiteral("a opção %1 precisa de um ARQUIVO").arg(name));
                v = args[++i];
            }
            if (v.isEmpty())
                throw EBadUsage(QStringLiteral("a opção %1 precisa de um ARQUIVO").arg(name));
            return v;
        };
        if (isOption(arg, kEnviar)) {
            if (hasFile)
                throw EBadUsage(QStringLiteral("a opção --enviar foi dada mais de uma vez: envia-se um arquivo por vez"));
            options.file = value(kEnviar);
            hasFile = true;
        } else if (isOption(arg, kLog)) {
            if (hasLog)
                throw EBadUsage(QStringLiteral("a opção --log foi dada mais de uma vez"));
            options.logFile = value(kLog);
            hasLog = true;
        } else if (arg == kSubstituir) {
            options.replace = true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            throw EBadUsage(QStringLiteral("opção desconhecida: %1").arg(arg));
        } else {
            throw EBadUsage(QStringLiteral("argumento inesperado: %1").arg(arg));
        }
    }
    if (!hasFile)
        throw EBadUsage(QStringLiteral("falta a opção --enviar ARQUIVO"));
    return options;
}

QString usageLine(const QString& program)
{
    return QStringLiteral("Uso: %1 --enviar ARQUIVO [--substituir] [--log ARQUIVO]").arg(program);
}

QString helpText(const QString& program)
{
    return usageLine(program) + QStringLiteral("\n"
                                              "  ou: %1 --help | --versao\n"
                                              "\n"
                                              "Envia ARQUIVO ao suporte da Quintara pelo FTP sem abrir a janela, e termina:\n"
                                              "para tarefas agendadas (cron, Agendador de Tarefas do Windows). O sistema\n"
                                              "Quintara instalado na pasta do programa e o cliente são identificados como na\n"
                                              "janela. O arquivo vai para a pasta do cliente no servidor; quando o cliente não\n"
                                              "pode ser identificado (base corrompida), vai para a pasta compartilhada com um\n"
                                              "nome único, que é escrito na última linha da saída padrão.\n"
                                              "\n"
                                              "Opções:\n"
                                              "  --enviar ARQUIVO  o arquivo a enviar\n"
                                              "  --substituir      substitui um arquivo de mesmo nome que já esteja no\n"
                                              "                    servidor; sem esta opção ele é mantido e nada é enviado\n"
                                              "  --log ARQUIVO     acrescenta as mensagens do envio ao fim de ARQUIVO\n"
                                              "  -h, --help        mostra esta ajuda e termina\n"
                                              "      --versao      mostra a versão e termina\n"
                                              "\n"
                                              "Um envio deste mesmo arquivo interrompido antes continua de onde parou, e uma\n"
                                              "conexão que cai durante o envio é retomada sozinha. O andamento vai para a\n"
                                              "saída padrão (numa linha que se atualiza, num terminal); as mensagens, as\n"
                                              "mesmas do registro da janela, para a saída de erros e para o --log.\n"
                                              "Um certificado TLS que não pode ser verificado só é aceito se já tiver sido\n"
                                              "aceito antes na janela.\n"
                                              "\n"
                                              "Códigos de saída:\n"
                                              "  0  arquivo enviado e conferido na pasta do cliente no servidor\n"
                                              "  1  arquivo não enviado (servidor fora do ar, falha na transferência,\n"
                                              "     arquivo local ausente ou ilegível, envio interrompido pelo usuário)\n"
                                              "  2  uso incorreto (opção desconhecida, falta --enviar ARQUIVO, um log\n"
                                              "     que pararia o envio: uma fila (FIFO), um soquete)\n"
                                              "  3  arquivo enviado, mas o servidor não informou o tamanho para conferência\n"
                                              "  4  o arquivo já existe no servidor e --substituir não foi dada\n"
                                              "  5  arquivo enviado e conferido, mas na pasta compartilhada de base\n"
                                              "     corrompida: o cliente não foi identificado (o motivo vai para a\n"
                                              "     saída de erros)\n"
                                              "\n"
                                              "Exemplo:\n"
                                              "  %1 --enviar /backup/KORV2017.fbk --log /var/log/ftpcaldoria.log\n")
                                   .arg(program);
}

ExitCode exitCodeOf(FailureKind kind)
{
    switch (kind) {
    case FailureKind::ConnectionLost:
    case FailureKind::TransferBroken:
    case FailureKind::ServerFull:
    case FailureKind::NotThere:
    case FailureKind::FileRefused:
    case FailureKind::RefusedByServer:
    case FailureKind::UnexpectedReply:
    case FailureKind::RestartRefused:
    case FailureKind::RenameRefused:
    case FailureKind::CertificateRefused:
    case FailureKind::InterceptionSuspected:
    case FailureKind::NameIsFolder:
    case FailureKind::RemoteFileNotFound:
    case FailureKind::LocalFileChanged:
    case FailureKind::ContentMismatch:
    case FailureKind::NotAFile:
    case FailureKind::UnreadableFile:
    case FailureKind::LocalFileError:
    case FailureKind::Cancelled:
    case FailureKind::Declined:
        break;
    }
    return ExitCode::NotSent;
}
