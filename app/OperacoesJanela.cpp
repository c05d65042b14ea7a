// What the window's buttons, a drop and a file handed over at start ask of the FTP
// session. Each handler asks what it must here (a file to send, where to save,
// whether to delete), then hands the rest to the session's thread as one operation;
// what the user sees at its end comes back here.
#include "ufPrincipal.h"

#include "ExePath.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "Formatos.h"
#include "SendOutcome.h"
#include "VisibleText.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

// ---------------------------------------------------------------- one operation

bool TfPrincipal::iniciarOperacao(const QString& arquivo)
{
    if (ocupada())
        return false;
    m_arquivoEmTransferencia = arquivo;
    m_painel->operationStarted(visibleText(arquivo));
    m_certificadosRecusados.clear();
    return true;
}

void TfPrincipal::terminarOperacao(const std::optional<Failure>& falha)
{
    m_esperaVisivel.stop();
    m_painel->operationEnded();
    m_arquivoEmTransferencia.clear();
    if (falha && falha->whileConnecting)
        descartarListagem();
    if (falha)
        mostrarFalha(*falha);
}

void TfPrincipal::descartarListagem()
{
    if (m_arquivos->rowCount() == 0)
        return;
    m_trabalhador->release(std::make_shared<FtpListing>(m_arquivos->takeListing()));
}

// ---------------------------------------------------------------- listing

void TfPrincipal::Listar(PedidoListagem pedido)
{
    if (!iniciarOperacao())
        return;
    // The old rows go at once, and what they held is let go of on the session's
    // thread: freeing 100,000 names does not hold up the window.
    m_trabalhador->release(std::make_shared<FtpListing>(m_arquivos->takeListing()));
    m_trabalhador->list(pedido, [this](const Outcome<ListagemPasta>& fim) {
        terminarOperacao(fim.failure);
        if (fim.ok())
            mostrarListagem(fim.result);
    });
}

void TfPrincipal::mostrarListagem(const ListagemPasta& listagem)
{
    switch (listagem.mostra) {
    case ListagemPasta::Mostra::Arquivos:
        m_arquivos->setListing(listagem.arquivos);
        ui->PageControl1->setCurrentWidget(ui->TabSheet1);
        break;
    case ListagemPasta::Mostra::PastaCompartilhada:
        m_arquivos->takeListing();
        ui->PageControl1->setCurrentWidget(ui->TabSheet2);
        break;
    case ListagemPasta::Mostra::PastaAusente:
        m_arquivos->takeListing();
        break;
    }
}

void TfPrincipal::btnViewFilesClick()
{
    Listar(PedidoListagem::Ver);
}

void TfPrincipal::btnRefreshClick()
{
    Listar(PedidoListagem::Atualizar);
}

// ---------------------------------------------------------------- upload

void TfPrincipal::Enviar(PedidoEnvio pedido, std::function<void(const Envio&)> depois)
{
    if (ocupada())
        return;
    // Another run of the program on this computer sending the same file (a nightly
    // job) would share its temporary upload on the server with this one.
    auto trava = std::make_unique<LocalFileLock>(pedido.arquivo);
    if (!trava->tryLock()) {
        const QString quem = trava->holder();
        throw EUserWarning(QStringLiteral("O arquivo %1 já está sendo enviado por outra execução deste programa neste computador%2. "
                                          "Aguarde o fim desse envio e tente de novo.")
                               .arg(QDir::toNativeSeparators(pedido.arquivo), quem.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(quem)));
    }
    if (!iniciarOperacao(QFileInfo(pedido.arquivo).fileName()))
        return;
    m_travaEnvio = std::move(trava);
    pedido.listarDepois = true;
    m_trabalhador->send(std::move(pedido), [this, depois = std::move(depois)](const Outcome<Envio>& fim) {
        m_travaEnvio.reset();
        terminarOperacao(fim.failure);
        if (!fim.ok())
            return;
        mostrarEnviado(fim.result);
        if (depois)
            protegido(this, [&] { depois(fim.result); });
    });
}

void TfPrincipal::btnUploadClick()
{
    if (ocupada())
        return;
    const QString caminho =
        m_deps.dialogos->AbrirArquivo(this, QStringLiteral("Selecione o Arquivo"), exepath::executableFolder());
    if (caminho.isEmpty())
        return;
    Enviar({caminho}, [this](const Envio& envio) {
        if (envio.enviado())
            mensagemDeSucesso(envio.texto());
    });
}

void TfPrincipal::mostrarEnviado(const Envio& envio)
{
    registrarResultado(sendOutcomeText(envio, m_trabalhador->status()));
    if (!envio.nomeUnico.isEmpty()) {
        ui->edtNomeArquivo->setText(envio.nomeUnico);
        ui->PageControl1->setCurrentWidget(ui->TabSheet3);
    } else if (envio.listagem) {
        mostrarListagem(*envio.listagem);
    }
}

void TfPrincipal::mensagemDeSucesso(const QString& texto)
{
    MessageBox(texto, kTituloAplicacao, mb::Information);
}

// ---------------------------------------------------------------- download and delete

namespace {
// A name inside the folder the user is in, its sub-folders included: it begins with
// no separator and has no "." or ".." piece, no "\\" (a separator on some servers)
// and no control character.
bool nomeDentroDaPasta(const QString& nome)
{
    if (nome.trimmed().startsWith(QLatin1Char('/')))
        return false;
    for (const QString& pedaco : nome.split(QLatin1Char('/'))) {
        const QString p = pedaco.trimmed();
        if (p == QLatin1String(".") || p == QLatin1String(".."))
            return false;
    }
    for (const QChar c : nome) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u < 0x20 || (u >= 0x7F && u <= 0x9F))
            return false;
    }
    return true;
}
}

int TfPrincipal::linhaSelecionada() const
{
    const QModelIndexList linhas = ui->ListView1->selectionModel()->selectedRows();
    return linhas.isEmpty() ? -1 : modelRow(*ui->ListView1, linhas.first());
}

void TfPrincipal::GarantirSelecao()
{
    if (linhaSelecionada() >= 0)
        return;
    if (m_arquivos->rowCount() == 1) {
        ui->ListView1->selectionModel()->setCurrentIndex(ui->ListView1->model()->index(0, 0),
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
    BaixarArquivo(m_arquivos->remoteName(linha));
}

void TfPrincipal::btnDownloadFinalClick()
{
    if (ocupada())
        return;
    const QString nome = ui->edtNomeArquivo->text();
    if (nome.trimmed().isEmpty())
        throw EUserWarning(QStringLiteral("Informe o nome completo do arquivo"));
    // The shared folder holds every unidentified client's files, and nothing beyond
    // it may be reached from here: a name inside it, in a sub-folder or not.
    if (!nomeDentroDaPasta(nome))
        throw EUserWarning(QStringLiteral("Informe o nome do arquivo dentro da pasta: um nome que começa com \"/\", partes \".\" ou "
                                          "\"..\", \"\\\" e caracteres de controle não são aceitos"));
    BaixarArquivo(nome);
}

void TfPrincipal::BaixarArquivo(const RemoteName& remoteName)
{
    const QString destino =
        m_deps.dialogos->SalvarArquivo(this, QStringLiteral("Salvar Arquivo"), NomeSugeridoParaSalvar(remoteName.displayText()));
    if (destino.isEmpty() || !iniciarOperacao(remoteName.displayText()))
        return;
    m_trabalhador->download(remoteName, destino, [this](const Outcome<Download>& fim) {
        // A name the server does not have: the list shows what is there now.
        if (fim.result.listagem)
            mostrarListagem(*fim.result.listagem);
        terminarOperacao(fim.failure);
        if (fim.ok() && fim.result.conferido) {
            registrarResultado(textoConcluido(wmRead, *fim.result.conferido));
            mensagemDeSucesso(textoConcluido(wmRead, *fim.result.conferido));
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
    if (!iniciarOperacao())
        return;
    m_trabalhador->remove(nome, [this, linha, nome](const Outcome<std::monostate>& fim) {
        terminarOperacao(fim.failure);
        // A failure leaves the row: the file is still there.
        if (!fim.ok())
            return;
        Log(QStringLiteral("Arquivo excluído: %1").arg(visibleText(nome.displayText())));
        m_arquivos->removeFileRow(linha);
        // Nothing chosen after a deletion: another Delete must not take the next file.
        ui->ListView1->selectionModel()->clear();
    });
}

// ---------------------------------------------------------------- command line and drops

void TfPrincipal::EnviarArquivoLinhaComando(std::function<void()> depois)
{
    PedidoEnvio pedido{m_deps.argumentos.value(0)};
    pedido.identificarDeNovo = true;
    Enviar(std::move(pedido), [depois = std::move(depois)](const Envio&) {
        if (depois)
            depois();
    });
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
    PedidoEnvio pedido{paths.first()};
    pedido.recusarIlegivel = true;
    pedido.verPastaAntes = true;
    Enviar(std::move(pedido));
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
