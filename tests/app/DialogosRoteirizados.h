#pragma once
// Dialogs answered from a script: records every box and file dialog the window
// shows and gives the answers the test asked for.
#include "Dialogos.h"

#include <QString>

#include <deque>
#include <functional>
#include <vector>

class DialogosRoteirizados : public IDialogos {
public:
    struct Caixa {
        QString texto;
        QString titulo;
        int flags;
    };
    struct Dialogo {
        QString titulo;
        QString argumento; // initial folder or preset file name
    };

    std::vector<Caixa> caixas;
    std::vector<Dialogo> dialogosAbrir;
    std::vector<Dialogo> dialogosSalvar;
    std::deque<int> respostas;          // answers to Yes/No questions, in order
    std::deque<QString> arquivosAbrir;  // chosen paths; empty string = cancel
    std::deque<QString> arquivosSalvar;
    int perguntasSemResposta = 0;
    // Called as each box opens: a test looks at what the window shows behind it.
    std::function<void()> fundo;

    int MessageBox(QWidget*, const QString& text, const QString& caption, int flags) override
    {
        caixas.push_back({text, caption, flags});
        if (fundo)
            fundo();
        if ((flags & 0x0F) != mb::YesNo)
            return mb::IdOk;
        if (respostas.empty()) {
            ++perguntasSemResposta;
            return mb::IdNo;
        }
        const int r = respostas.front();
        respostas.pop_front();
        return r;
    }
    QString AbrirArquivo(QWidget*, const QString& title, const QString& initialFolder) override
    {
        dialogosAbrir.push_back({title, initialFolder});
        return pop(arquivosAbrir);
    }
    QString SalvarArquivo(QWidget*, const QString& title, const QString& fileName) override
    {
        dialogosSalvar.push_back({title, fileName});
        return pop(arquivosSalvar);
    }

private:
    static QString pop(std::deque<QString>& q)
    {
        if (q.empty())
            return {};
        QString s = q.front();
        q.pop_front();
        return s;
    }
};
