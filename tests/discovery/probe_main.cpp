// Prints what the detector finds beside this executable, one "key=value" line
// each, so a test can copy the program anywhere and run it from anywhere.
#include "uTQuintaraConexoes.h"

#include <QTextStream>

int main()
{
    IQuintaraConexaoPtr sistema = std::make_shared<TQuintaraConexaoInstalada>();
    QTextStream out(stdout);
    out << "SISTEMA=" << static_cast<int>(sistema->GetSistema()) << '\n';
    out << "SIGLA=" << sistema->GetSiglaSistema() << '\n';
    out << "SERVIDORPORTA=" << sistema->GetServidorPorta() << '\n';
    out << "CAMINHO=" << sistema->GetCaminhoFDB() << '\n';
    const TArquivosFDB& arquivos = sistema->GetArquivosFDB();
    out << "ARQUIVO0=" << (!arquivos.empty() && arquivos[0] ? arquivos[0]->caminho : QString()) << '\n';
    out.flush();
    return 0;
}
