#include "CommandLine.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <vector>

namespace {

// One option of the command line. A new option is one entry here (and its line in
// the help): every mode reads the same table, so an option nobody knows is refused
// wherever it stands.
struct Option {
    QString name;
    // What its value is called in messages ("ARQUIVO"); empty for a switch.
    QString value;
    // Given, it asks for a run without a window.
    bool sends;
    // Given more than once is an error; otherwise the last one counts.
    bool once;
    std::function<void(CommandOptions&, const QString&)> set;
};

const std::vector<Option>& options()
{
    static const std::vector<Option> table{
        {QStringLiteral("--enviar"), QStringLiteral("ARQUIVO"), true, true, [](CommandOptions& o, const QString& v) { o.file = v; }},
        {QStringLiteral("--substituir"), {}, true, false, [](CommandOptions& o, const QString&) { o.replace = true; }},
        {QStringLiteral("--log"), QStringLiteral("ARQUIVO"), true, true, [](CommandOptions& o, const QString& v) { o.logFile = v; }},
        {QStringLiteral("--tentar-por"), QStringLiteral("DURAÇÃO"), true, true,
         [](CommandOptions& o, const QString& v) {
             const std::optional<std::chrono::seconds> d = parseDuration(v);
             if (!d)
                 throw EBadUsage(QStringLiteral("a duração de --tentar-por não é válida: %1 (use, por exemplo, 90s, 30m ou 2h)").arg(v));
             o.retryFor = *d;
         }},
    };
    return table;
}

const QStringList kAjuda{QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--ajuda")};
const QString kVersao = QStringLiteral("--versao");

// "--enviar" or "--enviar=..."
bool isOption(const QString& arg, const QString& name)
{
    return arg == name || arg.startsWith(name + QLatin1Char('='));
}

const Option* optionOf(const QString& arg)
{
    for (const Option& o : options())
        if (isOption(arg, o.name))
            return &o;
    return nullptr;
}

bool looksLikeAnOption(const QString& arg)
{
    return arg.size() > 1 && arg.startsWith(QLatin1Char('-'));
}

// "um ARQUIVO", "uma DURAÇÃO"
QString aValue(const QString& value)
{
    return (value.endsWith(QStringLiteral("ÃO")) ? QStringLiteral("uma ") : QStringLiteral("um ")) + value;
}

}

CommandOptions parseCommandLine(const QStringList& args, const std::function<bool(const QString&)>& isFile)
{
    // Asking for help or the version is never wrong, whatever else is there.
    CommandOptions result;
    for (const QString& arg : args)
        if (kAjuda.contains(arg)) {
            result.action = CommandOptions::Action::Help;
            return result;
        }
    for (const QString& arg : args)
        if (arg == kVersao) {
            result.action = CommandOptions::Action::Version;
            return result;
        }

    QStringList operands;
    QStringList given;
    bool sends = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        // A file handed over is the window's, also one whose name begins with "-".
        if ((i == 0 && isFile(arg)) || !looksLikeAnOption(arg)) {
            operands << arg;
            continue;
        }
        const Option* option = optionOf(arg);
        if (!option)
            throw EBadUsage(QStringLiteral("opção desconhecida: %1").arg(arg));
        if (option->once && given.contains(option->name))
            throw EBadUsage(option->name == QLatin1String("--enviar")
                                ? QStringLiteral("a opção --enviar foi dada mais de uma vez: envia-se um arquivo por vez")
                                : QStringLiteral("a opção %1 foi dada mais de uma vez").arg(option->name));
        given << option->name;
        sends = sends || option->sends;
        QString value;
        if (option->value.isEmpty()) {
            if (arg != option->name)
                throw EBadUsage(QStringLiteral("a opção %1 não leva valor").arg(option->name));
        } else {
            if (arg.size() > option->name.size())
                value = arg.mid(option->name.size() + 1);
            else if (i + 1 < args.size())
                value = args[++i];
            if (value.isEmpty())
                throw EBadUsage(QStringLiteral("a opção %1 precisa de %2").arg(option->name, aValue(option->value)));
        }
        option->set(result, value);
    }

    if (!sends) {
        // The window's own command line: a file as the first argument, sent at once;
        // it never looked at more.
        result.action = CommandOptions::Action::Window;
        result.file = operands.value(0);
        return result;
    }
    result.action = CommandOptions::Action::Send;
    if (!operands.isEmpty())
        throw EBadUsage(QStringLiteral("argumento inesperado: %1").arg(operands.first()));
    if (result.file.isEmpty())
        throw EBadUsage(QStringLiteral("falta a opção --enviar ARQUIVO"));
    return result;
}

CommandOptions parseCommandLine(const QStringList& args)
{
    return parseCommandLine(args, [](const QString& path) { return QFileInfo(path).isFile(); });
}

QString logFileNamed(const QStringList& args)
{
    const QString log = QStringLiteral("--log");
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == log && i + 1 < args.size())
            return args[i + 1];
        if (args[i].startsWith(log + QLatin1Char('=')))
            return args[i].mid(log.size() + 1);
    }
    return {};
}

std::optional<std::chrono::seconds> parseDuration(const QString& text)
{
    static const QRegularExpression whole(QStringLiteral("^(?:\\d{1,6}[smh])+$"));
    static const QRegularExpression piece(QStringLiteral("(\\d{1,6})([smh])"));
    if (!whole.match(text).hasMatch())
        return std::nullopt;
    std::chrono::seconds total{0};
    for (auto it = piece.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const qint64 n = m.captured(1).toLongLong();
        const QChar unit = m.captured(2).at(0);
        total += std::chrono::seconds(unit == QLatin1Char('h') ? n * 3600 : unit == QLatin1Char('m') ? n * 60 : n);
    }
    return total;
}

QString durationText(std::chrono::seconds duration)
{
    const qint64 all = std::max<qint64>(duration.count(), 0);
    const qint64 h = all / 3600;
    const qint64 m = all % 3600 / 60;
    const qint64 s = all % 60;
    QStringList parts;
    if (h > 0)
        parts << QStringLiteral("%1 h").arg(h);
    if (m > 0)
        parts << QStringLiteral("%1 min").arg(m);
    if (s > 0 || parts.isEmpty())
        parts << QStringLiteral("%1 s").arg(s);
    return parts.join(QLatin1Char(' '));
}

QString usageLine(const QString& program)
{
    return QStringLiteral("Uso: %1 --enviar ARQUIVO [--substituir] [--tentar-por DURAÇÃO] [--log ARQUIVO]").arg(program);
}

QString helpText(const QString& program)
{
    return usageLine(program) +
           QStringLiteral("\n"
                          "  ou: %1 [ARQUIVO]          (abre a janela; ARQUIVO é enviado na hora)\n"
                          "  ou: %1 --help | --versao\n"
                          "\n"
                          "Envia ARQUIVO ao suporte da Quintara pelo FTP sem abrir a janela, e termina:\n"
                          "para tarefas agendadas (cron, Agendador de Tarefas do Windows). O sistema\n"
                          "Quintara instalado na pasta do programa e o cliente são identificados como na\n"
                          "janela. O arquivo vai para a pasta do cliente no servidor; quando o cliente não\n"
                          "pode ser identificado (base corrompida), vai para a pasta compartilhada com um\n"
                          "nome único, que a linha RESULTADO informa e a última linha da saída padrão repete.\n"
                          "\n"
                          "Opções:\n"
                          "  --enviar ARQUIVO       o arquivo a enviar\n"
                          "  --substituir           substitui um arquivo de mesmo nome que já esteja no\n"
                          "                         servidor; sem esta opção ele é mantido e nada é enviado\n"
                          "  --tentar-por DURAÇÃO   por quanto tempo tentar de novo um envio que falhou por\n"
                          "                         falta de conexão (servidor fora do ar, linha caída):\n"
                          "                         90s, 30m, 2h, 1h30m; 0s não tenta de novo. Padrão: %2.\n"
                          "                         As pausas crescem: 10 s, 20 s, 40 s... até 5 min.\n"
                          "  --log ARQUIVO          acrescenta as mensagens do envio ao fim de ARQUIVO\n"
                          "  -h, --help             mostra esta ajuda e termina\n"
                          "      --versao           mostra a versão e termina\n"
                          "\n"
                          "Um envio deste mesmo arquivo interrompido antes continua de onde parou, e uma\n"
                          "conexão que cai durante o envio é retomada sozinha. Enquanto outra execução do\n"
                          "programa neste computador envia o mesmo arquivo, esta espera por ela (dentro do\n"
                          "prazo de --tentar-por). O andamento vai para a saída padrão (numa linha que se\n"
                          "atualiza, num terminal); as mensagens, as mesmas do registro da janela, para a\n"
                          "saída de erros e para o --log, que começa cada envio com a data e a hora e o\n"
                          "termina com a duração e a velocidade média. Um certificado TLS que não pode ser\n"
                          "verificado só é aceito se já tiver sido aceito antes na janela.\n"
                          "\n"
                          "Códigos de saída:\n"
                          "  0  arquivo enviado e conferido na pasta do cliente no servidor\n"
                          "  1  arquivo não enviado (servidor fora do ar até o fim de --tentar-por, falha\n"
                          "     na transferência, arquivo local ausente ou ilegível, envio interrompido\n"
                          "     pelo usuário)\n"
                          "  2  uso incorreto (opção desconhecida, falta --enviar ARQUIVO, um log\n"
                          "     que pararia o envio: uma fila (FIFO), um soquete)\n"
                          "  3  arquivo enviado, mas o servidor não informou o tamanho para conferência\n"
                          "  4  o arquivo já existe no servidor e --substituir não foi dada\n"
                          "  5  arquivo enviado e conferido, mas na pasta compartilhada de base\n"
                          "     corrompida: o cliente não foi identificado; a linha RESULTADO dá o nome\n"
                          "     a informar ao suporte e o motivo\n"
                          "  6  outra execução do programa neste computador enviava o mesmo arquivo e\n"
                          "     não terminou dentro do prazo de --tentar-por: nada foi enviado\n"
                          "  7  a janela foi pedida (sem --enviar) onde não há tela para mostrá-la\n"
                          "\n"
                          "Exemplo:\n"
                          "  %1 --enviar /backup/KORV2017.fbk --tentar-por 2h --log /var/log/ftpcaldoria.log\n")
               .arg(program, durationText(CommandOptions::kDefaultRetryFor));
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
