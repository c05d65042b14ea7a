#include "CommandMode.h"
#include "Translations.h"
#include "ufPrincipal.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    // Decided before any GUI object exists: a scheduled send may run where there
    // is no display.
    if (choosesCommandMode(argc, argv))
        return runCommandMode(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(kTituloAplicacao);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/imagens/ftpcaldoria.png")));
    // The desktop file of the installed program, so the window gets its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("ftpcaldoria"));
    installQtTranslation();

    TfPrincipal::Dependencias deps;
    deps.argumentos = QApplication::arguments().mid(1);
    TfPrincipal fPrincipal(std::move(deps));
    fPrincipal.show();
    return QApplication::exec();
}
