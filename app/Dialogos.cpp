#include "Dialogos.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

int DialogosQt::MessageBox(QWidget* parent, const QString& text, const QString& caption, int flags)
{
    QMessageBox box(parent ? parent : QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (flags & 0xF0) {
    case mb::IconError: box.setIcon(QMessageBox::Critical); break;
    case mb::IconQuestion: box.setIcon(QMessageBox::Question); break;
    case mb::IconWarning: box.setIcon(QMessageBox::Warning); break;
    case mb::IconInformation: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    if ((flags & 0x0F) == mb::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Sim"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Não"));
        box.setDefaultButton(flags & mb::DefaultButton2 ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? mb::IdYes : mb::IdNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return mb::IdOk;
}

QString DialogosQt::AbrirArquivo(QWidget* parent, const QString& title, const QString& initialFolder)
{
    return QFileDialog::getOpenFileName(parent, title, initialFolder);
}

QString DialogosQt::SalvarArquivo(QWidget* parent, const QString& title, const QString& fileName)
{
    return QFileDialog::getSaveFileName(parent, title, fileName, QString(), nullptr, QFileDialog::DontConfirmOverwrite);
}
