// What the window's buttons, a drop and a file handed over at start ask of the FTP
// session. Each handler asks what it must here (a file to send, where to save,
// whether to delete), then hands the rest to the session's thread as one operation;
// what the user sees at its end comes back here.
#include "ufPrincipal.h"

#include "ExePath.h"
#include "FileListModel.h"
#include "Formatos.h"
#include "VisibleText.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

// ---------------------------------------------------------------- listing

void TfPrincipal::ListarArquivos(FtpSession& s)
{
    // The old rows go at once, and what they held is let go of on the session's
    // thread: freeing 100,000 names does not hold up the window.
    const bool corrompida = s.baseCorrompida();
    naJanela([this, corrompida] {
        m_trabalhador->release(m_arquivos->takeContents().entries);
        // The folder of corrupted-base mode is shared by every unidentified client:
        // its contents are never shown.
        if (corrompida)
            ui->PageControl1->setCurrentWidget(ui->TabSheet2);
    });
    if (corrompida)
        return;
    if (!s.Connected())
        s.ConectarFTP();
    const int coluna = m_arquivos->sortColumn();
    const Qt::SortOrder ordem = m_arquivos->sortOrder();
    // Touching 100,000 entries takes a while: it happens here, off the window's thread.
    auto novo = std::make_shared<FileListModel::Contents>(FileListModel::prepare(s.fetchListing(), coluna, ordem));
    naJanela([this, novo] {
        m_arquivos->setContents(std::move(*novo));
        ui->PageControl1->setCurrentWidget(ui->TabSheet1);
    });
}

void TfPrincipal::VerArquivos(FtpSession& s)
{
    if (!s.Connected())
        s.ConectarFTP();
    if (s.directory().isEmpty())
        s.DefinirPastaCliente();
    if (s.baseCorrompida()) {
        naJanela([this] { ui->PageControl1->setCurrentWidget(ui->TabSheet2); });
        return;
    }
    try {
        ListarArquivos(s);
    } catch (const ESessionFailure& e) {
        // A folder the server says is not there lists as nothing, without a word.
        if (e.kind() != FailureKind::NotThere)
            throw;
    }
}

void TfPrincipal::btnViewFilesClick()
{
    operacao(ui->btnViewFiles, Operation::Listing, [this](FtpSession& s) { VerArquivos(s); });
}

void TfPrincipal::btnRefreshClick()
{
    operacao(ui->btnRefresh, Operation::Listing, [this](FtpSession& s) { ListarArquivos(s); });
}

// ---------------------------------------------------------------- upload

void TfPrincipal::btnUploadClick()
{
    if (ocupada())
        return;
    const QString caminho =
        m_deps.dialogos->AbrirArquivo(this, QStringLiteral("Selecione o Arquivo"), exepath::executableFolder());
    if (caminho.isEmpty())
        return;
    auto envio = std::make_shared<Envio>();
    operacao(
        ui->btnUpload, Operation::Upload,
        [this, caminho, envio](FtpSession& s) {
            *envio = executarEnvio(s, {caminho});
            mostrarEnviado(s, *envio);
        },
        [this, envio] {
            if (envio->enviado())
                mensagemDeSucesso(envio->texto());
        });
}

void TfPrincipal::mostrarEnviado(FtpSession& s, const Envio& envio)
{
    naJanela([this, texto = envio.texto()] { registrarResultado(texto); });
    if (!envio.nomeUnico.isEmpty()) {
        naJanela([this, nome = envio.nomeUnico] {
            ui->edtNomeArquivo->setText(nome);
            ui->PageControl1->setCurrentWidget(ui->TabSheet3);
        });
    } else if (envio.enviado()) {
        ListarArquivos(s);
    }
}

void TfPrincipal::mensagemDeSucesso(const QString& texto)
{
    MessageBox(texto, kTituloAplicacao, mb::Information);
}

// ---------------------------------------------------------------- download and delete

namespace {
bool nomeSimplesDeArquivo(const QString& nome)
{
    if (nome == QLatin1String(".") || nome == QLatin1String(".."))
        return false;
    for (const QChar c : nome) {
        const char16_t u = c.unicode();
        if (u == u'/' || u == u'\\' || u < 0x20 || (u >= 0x7F && u <= 0x9F))
            return false;
    }
    return true;
}
}

int TfPrincipal::linhaSelecionada() const
{
    const QModelIndexList linhas = ui->ListView1->selectionModel()->selectedRows();
    return linhas.isEmpty() ? -1 : linhas.first().row();
}

void TfPrincipal::GarantirSelecao()
{
    if (linhaSelecionada() >= 0)
        return;
    if (m_arquivos->rowCount() == 1) {
        ui->ListView1->selectionModel()->setCurrentIndex(m_arquivos->index(0, 0),
                                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return;
    }
    throw EUserWarning(QStringLiteral("Selecione um arquivo"));
}

void TfPrincipal::btnDownloadSelectedClick()
{
    if (ocupada())
        return;
    GarantirSelecao();
    const int linha = linhaSelecionada();
    // A folder would be asked for a place to save and then refused by the server.
    if (m_arquivos->isFolder(linha))
        throw EUserWarning(QStringLiteral("%1 é uma pasta: só arquivos podem ser baixados").arg(m_arquivos->fileName(linha)));
    BaixarArquivo(ui->btnDownloadSelected, m_arquivos->remoteName(linha));
}

void TfPrincipal::btnDownloadFinalClick()
{
    if (ocupada())
        return;
    const QString nome = ui->edtNomeArquivo->text();
    if (nome.trimmed().isEmpty())
        throw EUserWarning(QStringLiteral("Informe o nome completo do arquivo"));
    // The shared folder holds every unidentified client's files, and nothing beyond
    // it may be reached from here: a bare file name only.
    if (!nomeSimplesDeArquivo(nome))
        throw EUserWarning(QStringLiteral("Informe só o nome do arquivo, sem pastas: \"/\", \"\\\", \"..\" e caracteres de controle não são aceitos"));
    BaixarArquivo(ui->btnDownloadFinal, nome);
}

void TfPrincipal::BaixarArquivo(QObject* sender, const RemoteName& remoteName)
{
    const QString destino =
        m_deps.dialogos->SalvarArquivo(this, QStringLiteral("Salvar Arquivo"), NomeSugeridoParaSalvar(remoteName.displayText()));
    if (destino.isEmpty())
        return;
    auto baixado = std::make_shared<std::optional<TransferCheck>>();
    operacao(
        sender, Operation::Download,
        [this, remoteName, destino, baixado](FtpSession& s) {
            try {
                *baixado = s.BaixarArquivo(remoteName, destino);
            } catch (const ESessionFailure& e) {
                if (e.kind() != FailureKind::RemoteFileNotFound)
                    throw;
                // The list shows what is there now. In corrupted-base mode there is no
                // list to show: the folder holds other clients' files, and the user
                // stays on the page for downloads by name.
                if (!s.baseCorrompida())
                    ListarArquivos(s);
                throw;
            }
        },
        [this, baixado] {
            if (*baixado) {
                registrarResultado(textoConcluido(wmRead, **baixado));
                mensagemDeSucesso(textoConcluido(wmRead, **baixado));
            }
        });
}

bool TfPrincipal::ConfirmaSubstituirLocal(const QString& localPath)
{
    if (!QFileInfo::exists(localPath))
        return false;
    return MessageBox(QStringLiteral("Deseja Substituir o Arquivo ") + QDir::toNativeSeparators(localPath) + QStringLiteral(" ?"),
                      QStringLiteral("Substituir Arquivo Local"), mb::Question) == mb::IdYes;
}

void TfPrincipal::btnDeleteClick()
{
    if (ocupada())
        return;
    GarantirSelecao();
    if (MessageBox(QStringLiteral("Confirma a Exclusão do Arquivo Selecionado?"), QStringLiteral("Excluir"), mb::Question) != mb::IdYes)
        return;
    const int linha = linhaSelecionada();
    const RemoteName nome = m_arquivos->remoteName(linha);
    // A failure leaves the row: the file is still there.
    operacao(
        ui->btnDelete, Operation::Deletion, [nome](FtpSession& s) { s.deleteFile(nome); },
        [this, linha, nome] {
            Log(QStringLiteral("Arquivo excluído: %1").arg(visibleText(nome.displayText())));
            m_arquivos->removeFileRow(linha);
            // Nothing chosen after a deletion: another Delete must not take the next file.
            ui->ListView1->selectionModel()->clear();
        });
}

// ---------------------------------------------------------------- command line and drops

void TfPrincipal::EnviarArquivoLinhaComando(std::function<void()> depois)
{
    const QString arquivo = m_deps.argumentos.value(0);
    operacao(
        this, Operation::Upload,
        [this, arquivo](FtpSession& s) {
            PedidoEnvio pedido{arquivo};
            pedido.identificarDeNovo = true;
            mostrarEnviado(s, executarEnvio(s, pedido));
        },
        std::move(depois));
}

void TfPrincipal::WMDropFiles(const QStringList& paths)
{
    raise();
    activateWindow();
    if (ocupada())
        return;
    if (paths.size() > 1)
        throw EUserException(QStringLiteral("Apenas Um Arquivo Pode ser Enviado"));
    if (paths.isEmpty())
        return;
    operacao(
        this, Operation::Upload,
        [this, nome = paths.first()](FtpSession& s) {
            conferirArquivoParaEnvio(nome);
            VerArquivos(s);
            mostrarEnviado(s, executarEnvio(s, {nome}));
        });
}

void TfPrincipal::SoltarArquivos(const QStringList& paths)
{
    protegido(this, [&] { WMDropFiles(paths); });
}

void TfPrincipal::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfPrincipal::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    event->acceptProposedAction();
    // Handled after the platform's drop has finished, so the source is not kept waiting.
    QTimer::singleShot(0, this, [this, paths] { SoltarArquivos(paths); });
}
