#pragma once
// The description of the installed system and of its Firebird database that the
// whole program shares.
#include "uValida_Chave.h"

#include <QString>
#include <memory>
#include <vector>

class TArquivoFDB {
public:
    TArquivoFDB(QString caminho_, bool opcional_) : caminho(std::move(caminho_)), opcional(opcional_) {}
    QString caminho;
    bool opcional;
};

// Owning list with empty slots: a slot holds no entry until the folder is known.
using TArquivosFDB = std::vector<std::unique_ptr<TArquivoFDB>>;

class IQuintaraConexao {
public:
    virtual ~IQuintaraConexao() = default;
    virtual QString GetSiglaSistema() = 0;
    virtual TQuintaraSistema GetSistema() = 0;
    virtual QString GetServidor() = 0;
    virtual QString GetPorta() = 0;
    virtual QString GetServidorPorta() = 0;
    virtual QString GetCaminhoFDB() = 0;
    virtual QString GetUsuario() = 0;
    virtual QString GetSenha() = 0;
    virtual TArquivosFDB& GetArquivosFDB() = 0;
    virtual QString GetBarra() = 0;
    virtual void SetServidor(const QString& value) = 0;
    virtual void SetCaminhoFDB(const QString& value) = 0;
    virtual void SetPorta(const QString& value) = 0;
    virtual void SetSistema(TQuintaraSistema value) = 0;
    virtual void SetBarra(const QString& value) = 0;
    virtual void SetUsuario(const QString& value) = 0;
    virtual void SetSenha(const QString& value) = 0;
};

// Reference-counted handle, as the rest of the program holds it.
using IQuintaraConexaoPtr = std::shared_ptr<IQuintaraConexao>;
