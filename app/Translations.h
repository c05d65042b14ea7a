#pragma once
// Qt's own texts (the buttons of message boxes, the file dialogs) in Brazilian
// Portuguese, as the program's own.
#include <QLocale>
#include <QStringList>

class QTranslator;

// Where Qt's translations are looked for: Qt's own folder, then "translations"
// beside the executable (where the Windows package puts them).
QStringList qtTranslationFolders();
// Loads Qt's base translation for locale into translator from the first folder
// that has it; any Portuguese gets Brazilian Portuguese. False when the locale
// is not Portuguese or no folder has the file.
bool loadQtTranslation(QTranslator& translator, const QLocale& locale, const QStringList& folders);
// Installs Brazilian Portuguese for the running application, whatever the
// system's locale (programLocale).
void installQtTranslation();
