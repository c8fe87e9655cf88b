#include "cli/importcli.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>

#include "analysis/layout.h"
#include "cli/terminal.h"
#include "tables/datatable.h"
#include "tables/textimport.h"

namespace qv {
namespace {

constexpr int kUsage = 2;
constexpr int kFileError = 1;

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// The window's dialogs answered from the arguments.
class TCliTransferHost : public TTextTransferHost {
 public:
  TCliTransferHost(const std::string& text, const std::string& table, bool force, std::ostream& err)
      : text_(text), table_(table), force_(force), err_(err) {}

  bool WarnOkCancel(const std::string&) override { return true; }
  bool WarnYesNo(const std::string& text) override {
    if (force_) return true;
    Refuse(text + " (use --force para substituí-lo)");
    return false;
  }
  void ShowMessage(const std::string& text) override {
    err_ << "quorvandelia-cli: " << ForTerminal(text) << '\n';
  }
  void ShowError(const std::string& text) override { ShowMessage(text); }

  std::optional<std::string> ChooseImportSource() override { return text_; }
  std::optional<std::string> ChooseImportTable() override {
    // The save dialog asks before it replaces a file.
    if (!force_ && Exists(table_)) {
      Refuse("\"" + Printable(table_) + "\" já existe (use --force para substituí-lo)");
      return std::nullopt;
    }
    return table_;
  }
  std::optional<std::string> ChooseExportFile() override { return text_; }
  void OpenTableDialog(TDataTable& table) override {
    try {
      table.SetName(table_);
      table.Open();
    } catch (const TableError& e) {
      ShowError(e.what());
    }
  }

  bool Refused() const { return refused_; }

 private:
  void Refuse(const std::string& text) {
    refused_ = true;
    ShowMessage(text);
  }

  std::string text_, table_;
  bool force_;
  std::ostream& err_;
  bool refused_ = false;
};

int StatusOf(TTransferStatus status, const TCliTransferHost& host) {
  switch (status) {
    case TTransferStatus::Done:
      return 0;
    case TTransferStatus::Cancelled:
      return host.Refused() ? kUsage : kFileError;
    case TTransferStatus::Stopped:
    case TTransferStatus::Failed:
      break;
  }
  return kFileError;
}

}  // namespace

TTransferCommands::TTransferCommands(CLI::App& app) {
  const char* const exits =
      "Saída: 0 sucesso; 1 erro ao ler ou gravar um arquivo, ou valor do texto que a "
      "importação não lê;\n2 uso inválido, ou arquivo existente sem --force.";
  import_ = app.add_subcommand("import",
                               "Cria uma tabela com os números de um arquivo de texto em colunas.");
  import_->add_option("TEXT", text_, "Arquivo de texto: números separados por espaços")->required();
  import_
      ->add_option("TABLE", table_,
                   "Tabela a criar, com os campos reais \"Var. 1\" ... \"Var. n\" (.db "
                   "Paradox, .dbf dBase ou .csv)")
      ->required();
  import_->add_flag("--force,-f", force_, "Substitui a tabela se ela já existir");
  import_->footer(
      std::string("Cada linha é limpa antes da leitura: vírgulas, letras (menos \"e\") e outros "
                  "sinais viram espaços.\nn é o maior número de valores numa linha; cada "
                  "registro toma os n valores seguintes, de\nquantas linhas for preciso, e "
                  "despreza o resto da linha do último. O arquivo temporário\n\"") +
      kImportTempName + "\" é criado na pasta do texto e apagado ao fim.\n" + exits);

  export_ = app.add_subcommand(
      "export", "Grava uma tabela como texto: uma linha de nomes e uma linha por registro.");
  export_->add_option("TABLE", table_, "Tabela (.db Paradox, .dbf dBase ou .csv)")->required();
  export_->add_option("TEXT", text_, "Arquivo de texto a gravar")->required();
  export_->add_flag("--force,-f", force_, "Substitui o arquivo de texto se ele já existir");
  export_->footer(
      std::string("Valores em branco saem como \". \", os demais seguidos de dois espaços; "
                  "números com até 15\nalgarismos significativos e ponto decimal; linhas "
                  "terminadas em CR LF.\n") +
      exits);
}

bool TTransferCommands::Chosen() const {
  return import_->parsed() || export_->parsed();
}

int TTransferCommands::Run(std::ostream& out, std::ostream& err) const {
  TCliTransferHost host(text_, table_, force_, err);
  TDataTable table;
  if (import_->parsed()) {
    const TableType type = TypeFromExtension(table_);
    if (type == TableType::Auto) {
      err << "quorvandelia-cli: \"" << Printable(table_)
          << "\": o nome da tabela deve terminar em .db (Paradox), .dbf (dBase) ou .csv\n";
      return kUsage;
    }
    const TImportOutcome outcome = ImportTextCommand(table, host, type);
    if (outcome.status == TTransferStatus::Done || outcome.status == TTransferStatus::Stopped) {
      out << Printable(outcome.table) << ": " << outcome.records << " registros e "
          << outcome.fields << " campos importados de " << Printable(text_) << ".\n";
    }
    return StatusOf(outcome.status, host);
  }
  const TExportOutcome outcome = ExportTextCommand(
      table, host, [](double v) { return General(static_cast<long double>(v), '.'); });
  if (outcome.status == TTransferStatus::Done) {
    out << Printable(outcome.file) << ": " << outcome.records << " registros exportados de "
        << Printable(table_) << ".\n";
  }
  return StatusOf(outcome.status, host);
}

}  // namespace qv
