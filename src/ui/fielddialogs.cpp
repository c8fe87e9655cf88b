#include "ui/fielddialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "tables/fieldnames.h"
#include "ui/messages.h"

namespace qv::ui {
namespace {

QString Utf8(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QLabel* Label(QWidget* parent, const char* objectName, const char* caption) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setObjectName(objectName);
  return label;
}

QPushButton* Button(QWidget* parent, const char* objectName, const char* caption) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TField_Del::TField_Del(QWidget* parent) : QDialog(parent) {
  setObjectName("Field_Del");
  setWindowTitle(QString::fromUtf8("Deleção de campos"));
  // No border icons: closed with its buttons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  auto* layout = new QVBoxLayout(this);
  QPalette teal = palette();
  teal.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0x80));
  for (auto [name, caption] : {std::pair{"Label1", "Escolha a variável a ser deletada e"},
                               std::pair{"Label2", "clique em Ok!"}}) {
    QLabel* label = Label(this, name, caption);
    label->setPalette(teal);
    layout->addWidget(label);
  }
  list_ = new QListWidget(this);
  list_->setObjectName("LB_Var");
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(list_);
  auto* buttons = new QHBoxLayout;
  QPushButton* ok = Button(this, "BitBtnOk", "Ok");
  QPushButton* cancel = Button(this, "BitBtnCancelar", "Cancelar");
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  resize(260, 300);
}

int TField_Del::ChooseField(const std::vector<std::string>& names) {
  list_->clear();
  for (const std::string& n : names) list_->addItem(Utf8(n));
  if (exec() != QDialog::Accepted) return -1;
  return list_->currentItem() && list_->currentItem()->isSelected() ? list_->currentRow() : -1;
}

TForm_nomes::TForm_nomes(QWidget* parent) : QDialog(parent) {
  setObjectName("Form_nomes");
  setWindowTitle(QStringLiteral("Nomes"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label(this, "Label1", "Selecione o nome da coluna do arquivo:"));
  names_ = new QListWidget(this);
  names_->setObjectName("LB_nomes");
  names_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(names_);
  layout->addWidget(Label(this, "Label2", "Novo nome:"));
  edit_ = new QLineEdit(this);
  edit_->setObjectName("Edit_nn");
  layout->addWidget(edit_);
  selected_ = new QListWidget(this);
  selected_->setObjectName("ListBox_sel");
  selected_->setSelectionMode(QAbstractItemView::MultiSelection);
  selected_->hide();
  auto* buttons = new QHBoxLayout;
  QPushButton* trocar = Button(this, "Trocar", "Trocar");
  QPushButton* efetivar = Button(this, "Efetivar", "Efetivar");
  QPushButton* abandonar = Button(this, "Abandonar", "Abandonar");
  for (QPushButton* b : {trocar, efetivar, abandonar}) buttons->addWidget(b);
  layout->addLayout(buttons);
  connect(trocar, &QPushButton::clicked, this, &TForm_nomes::TrocarClick);
  connect(efetivar, &QPushButton::clicked, this, &TForm_nomes::EfetivarClick);
  connect(abandonar, &QPushButton::clicked, this, &QDialog::reject);
  // Picking a column offers its name, as staged so far, for editing.
  connect(names_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && static_cast<std::size_t>(row) < staged_.size()) {
      edit_->setText(Utf8(staged_[static_cast<std::size_t>(row)]));
    }
  });
  resize(300, 340);
}

bool TForm_nomes::Rename(TableType format, const std::vector<std::string>& names, TApply apply) {
  format_ = format;
  original_ = staged_ = names;
  apply_ = std::move(apply);
  names_->clear();
  selected_->clear();
  edit_->clear();
  for (const std::string& n : names) {
    names_->addItem(Utf8(n));
    selected_->addItem(Utf8(n));
  }
  const bool applied = exec() == QDialog::Accepted;
  apply_ = nullptr;
  return applied;
}

void TForm_nomes::TrocarClick() {
  const int field = names_->currentRow();
  if (field < 0 || !names_->currentItem()->isSelected()) {
    ShowBox(this, TBoxKind::Warning, "Selecione na lista o nome da coluna que deseja trocar.");
    return;
  }
  const std::string name = edit_->text().toStdString();
  if (const std::string problem = FieldRenameProblem(format_, staged_, field, name);
      !problem.empty()) {
    ShowBox(this, TBoxKind::Warning, problem);
    edit_->setFocus();
    return;
  }
  const auto k = static_cast<std::size_t>(field);
  staged_[k] = name;
  names_->item(field)->setText(Utf8(name));
  selected_->item(field)->setSelected(name != original_[k]);
}

void TForm_nomes::EfetivarClick() {
  std::vector<TFieldRename> renames;
  for (std::size_t k = 0; k < staged_.size(); ++k) {
    if (staged_[k] != original_[k]) renames.push_back({static_cast<int>(k), staged_[k]});
  }
  if (!renames.empty() && apply_ && !apply_(renames)) return;
  accept();
}

}  // namespace qv::ui
