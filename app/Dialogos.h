#pragma once
// Every message box and file dialog of the window goes through this interface, so
// tests answer them from a script and see exactly what the user would have seen.
#include <QString>

class QWidget;

// Message-box flags and answers, with the values Windows uses.
namespace mb {
constexpr int OK = 0x00;
constexpr int YesNo = 0x04;
constexpr int IconError = 0x10;
constexpr int IconQuestion = 0x20;
constexpr int IconWarning = 0x30;
constexpr int IconInformation = 0x40;
constexpr int DefaultButton2 = 0x100; // "Não" is the default answer
constexpr int Warning = OK | IconWarning;          // 48
constexpr int Error = OK | IconError;              // 16
constexpr int Question = YesNo | IconQuestion;     // 36
constexpr int Information = OK | IconInformation;  // 64
constexpr int IdOk = 1;
constexpr int IdYes = 6;
constexpr int IdNo = 7;
}

class IDialogos {
public:
    virtual ~IDialogos() = default;
    // Shows a modal box owned by parent; returns the answer (mb::IdOk, IdYes, IdNo).
    virtual int MessageBox(QWidget* parent, const QString& text, const QString& caption, int flags) = 0;
    // Open-file dialog, single selection, every file shown; empty when cancelled.
    virtual QString AbrirArquivo(QWidget* parent, const QString& title, const QString& initialFolder) = 0;
    // Save-file dialog with the file name preset; asks nothing about existing files;
    // empty when cancelled.
    virtual QString SalvarArquivo(QWidget* parent, const QString& title, const QString& fileName) = 0;
};

// The real dialogs of the platform.
class DialogosQt : public IDialogos {
public:
    int MessageBox(QWidget* parent, const QString& text, const QString& caption, int flags) override;
    QString AbrirArquivo(QWidget* parent, const QString& title, const QString& initialFolder) override;
    QString SalvarArquivo(QWidget* parent, const QString& title, const QString& fileName) override;
};
