#include "Translations.h"

#include "Formatos.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

QStringList qtTranslationFolders()
{
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath), QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
}

bool loadQtTranslation(QTranslator& translator, const QLocale& locale, const QStringList& folders)
{
    if (locale.language() != QLocale::Portuguese)
        return false;
    for (const QString& pasta : folders) {
        if (pasta.isEmpty() || !QDir(pasta).exists())
            continue;
        // Qt ships its base texts for Brazil only; they serve every Portuguese.
        if (translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), pasta) ||
            translator.load(QStringLiteral("qtbase_pt_BR"), pasta))
            return true;
    }
    return false;
}

void installQtTranslation()
{
    auto* tradutor = new QTranslator(QCoreApplication::instance());
    if (loadQtTranslation(*tradutor, programLocale(), qtTranslationFolders()))
        QCoreApplication::installTranslator(tradutor);
    else
        delete tradutor;
}
