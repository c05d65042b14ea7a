// Reports what TVersao says about the running executable. Built twice: with a
// version record whose product version differs from its file version, and
// without any record.
#include "uTVersao.h"

#include <QTextStream>

int main()
{
    QTextStream out(stdout);
    // The phase changes between the two calls, so the text left behind by each
    // call shows whether that call read the file again.
    out << "RELEASE1=" << TVersao::GetReleaseExe() << '\n';
    out << "LIDO1=" << TVersao::UltimaVersaoExe() << '\n';
    TVersao::SetFase(BETA);
    out << "RELEASE2=" << TVersao::GetReleaseExe() << '\n';
    out << "LIDO2=" << TVersao::UltimaVersaoExe() << '\n';
    TVersao::SetFase(RELEASE_CANDIDATE);
    TVersao::SeTdef(37);
    out << "VERSAOEXE=" << TVersao::GetVersaoExe() << '\n';
    // What the system says of itself to this executable (its manifest decides on Windows).
    out << "SO=" << TVersao::VersaoSODescricao() << '\n';
    out.flush();
    return 0;
}
