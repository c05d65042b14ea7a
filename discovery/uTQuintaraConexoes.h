#pragma once
// The connection classes of the maker's systems and the detector that builds the
// installed system's connection from its INI file.
#include "uIQuintaraConexoes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// Calendar year of the computer's local date.
int AnoAtualLocal();

// The folder holding the last element of a path, with its trailing separator.
QString ExtrairPastaPai(const QString& caminho);

// Base connection: used as it is when no system was identified, and the base of
// every per-system class.
class TQuintaraConexao : public IQuintaraConexao {
public:
    TQuintaraConexao();
    // A connection to a single database file with the administrator's login; the
    // folder is not set, so GetCaminhoFDB stays empty.
    explicit TQuintaraConexao(const QString& ArquivoFDB);
    ~TQuintaraConexao() override;

    TQuintaraConexao(const TQuintaraConexao&) = delete;
    TQuintaraConexao& operator=(const TQuintaraConexao&) = delete;

    QString GetSiglaSistema() override;
    TQuintaraSistema GetSistema() override;
    QString GetServidor() override;
    QString GetPorta() override;
    QString GetServidorPorta() override;
    QString GetCaminhoFDB() override;
    QString GetUsuario() override;
    QString GetSenha() override;
    TArquivosFDB& GetArquivosFDB() override;
    QString GetBarra() override;
    void SetServidor(const QString& value) override;
    void SetCaminhoFDB(const QString& value) override;
    void SetPorta(const QString& value) override;
    void SetSistema(TQuintaraSistema value) override;
    void SetBarra(const QString& value) override;
    void SetUsuario(const QString& value) override;
    void SetSenha(const QString& value) override;

protected:
    // Steps shared by every per-system constructor: system, login, and one empty
    // slot per database file.
    void Inicializar(TQuintaraSistema sistema, const QString& usuario, const QString& senha, std::size_t vagas);
    // Puts a new entry into a slot, destroying the one it held.
    void PreencherSlot(std::size_t slot, const QString& caminho, bool opcional);
    // Fills slots 0, 1, ... with the given entries, in order.
    void PreencherSlots(const std::vector<TArquivoFDB>& entradas);

    QString FSiglaSistema;
    TQuintaraSistema FSistema = qncNenhum;
    QString FServidor;
    QString FCaminhoFDB;
    QString FUsuario;
    QString FSenha;
    QString FPorta;
    TArquivosFDB FArquivosFDB;
    QString FBarra;
};

// --- Systems with several database files -----------------------------------

// KORV for the current year: the year is taken from the clock every time the
// folder is set, so the files follow the calendar.
class TQuintaraConexaoKORV : public TQuintaraConexao {
public:
    explicit TQuintaraConexaoKORV(std::function<int()> anoAtual = AnoAtualLocal);
    void SetCaminhoFDB(const QString& value) override;

private:
    std::function<int()> m_anoAtual;
};

// KORV for a fixed year.
class TQuintaraConexaoKORVExercicio : public TQuintaraConexao {
public:
    explicit TQuintaraConexaoKORVExercicio(std::uint32_t Exercicio);
    void SetCaminhoFDB(const QString& value) override;
    std::uint32_t GetExercicio() const { return FExercicio; }

protected:
    std::uint32_t FExercicio = 0;
};

class TQuintaraConexaoMUR : public TQuintaraConexao {
public:
    TQuintaraConexaoMUR();
    void SetCaminhoFDB(const QString& value) override;
};

class TQuintaraConexaoVAD : public TQuintaraConexao {
public:
    TQuintaraConexaoVAD();
    void SetCaminhoFDB(const QString& value) override;
};

class TQuintaraConexaoLOB : public TQuintaraConexao {
public:
    TQuintaraConexaoLOB();
    void SetCaminhoFDB(const QString& value) override;
};

class TQuintaraConexaoPYR : public TQuintaraConexao {
public:
    TQuintaraConexaoPYR();
    void SetCaminhoFDB(const QString& value) override;
};

class TQuintaraConexaoRUV : public TQuintaraConexao {
public:
    TQuintaraConexaoRUV();
    void SetCaminhoFDB(const QString& value) override;
};

// --- Systems with one database file ------------------------------------------

class TQuintaraConexaoTEL : public TQuintaraConexao {
public:
    TQuintaraConexaoTEL();
    void SetCaminhoFDB(const QString& value) override;
};

class TQuintaraConexaoNIX : public TQuintaraConexao {
public:
    TQuintaraConexaoNIX();
    void SetCaminhoFDB(const QString& value) override;
};

// JEB keeps one database per year, and the year is part of its short name.
class TQuintaraConexaoJEB : public TQuintaraConexao {
public:
    explicit TQuintaraConexaoJEB(std::uint32_t Exercicio);
    QString GetSiglaSistema() override;
    void SetCaminhoFDB(const QString& value) override;
    std::uint32_t GetExercicio() const { return FExercicio; }

protected:
    std::uint32_t FExercicio = 0;
};

class TQuintaraConexaoHUSK : public TQuintaraConexao {
public:
    TQuintaraConexaoHUSK();
    void SetCaminhoFDB(const QString& value) override;
};

class TQuintaraConexaoYOL : public TQuintaraConexao {
public:
    TQuintaraConexaoYOL();
    void SetCaminhoFDB(const QString& value) override;
};

class TQuintaraConexaoZIB : public TQuintaraConexao {
public:
    TQuintaraConexaoZIB();
    void SetCaminhoFDB(const QString& value) override;
};

// --- Detector ----------------------------------------------------------------

// The connection of the system installed beside the program, read from that
// system's INI file when constructed. Every operation is handed to the
// connection created for the identified system.
class TQuintaraConexaoInstalada : public IQuintaraConexao {
public:
    // Beside the running executable, with the local date's year.
    TQuintaraConexaoInstalada();
    // Beside the given executable path, with the year from the given clock.
    TQuintaraConexaoInstalada(const QString& executablePath, std::function<int()> currentYear);
    ~TQuintaraConexaoInstalada() override = default;

    QString GetSiglaSistema() override;
    TQuintaraSistema GetSistema() override;
    QString GetServidor() override;
    QString GetPorta() override;
    QString GetServidorPorta() override;
    QString GetCaminhoFDB() override;
    QString GetUsuario() override;
    QString GetSenha() override;
    TArquivosFDB& GetArquivosFDB() override;
    QString GetBarra() override;
    void SetServidor(const QString& value) override;
    void SetCaminhoFDB(const QString& value) override;
    void SetPorta(const QString& value) override;
    void SetSistema(TQuintaraSistema value) override;
    void SetBarra(const QString& value) override;
    void SetUsuario(const QString& value) override;
    void SetSenha(const QString& value) override;

private:
    IQuintaraConexaoPtr FConexaoIdentificada;
};
