#include "ui/paramsform.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

#include "ui/look.h"

namespace qv::ui {
namespace {

constexpr int kClientWidth = 468;
constexpr int kClientHeight = 364;
constexpr int kEntryWidth = 121;
constexpr int kListHeight = 62;

struct TRow {
  Control control;
  const char* controlName;
  const char* labelName;
  const char* caption;
  bool isList;
};

// Top to bottom, as the dialog shows them.
const TRow kRows[] = {
    {Control::EditAlpha, "EditAlpha", "LabelAlpha", "Nível de Significância:", false},
    {Control::EditGLE, "EditGLE", "LabelGLE", "Graus de Liberdade do resíduo:", false},
    {Control::EditQME, "EditQME", "LabelQME", "Quadrado Médio do Resíduo:", false},
    {Control::EditNum_rep, "EditNum_rep", "LabelRepeticao",
     "Número de repetições das médias:", false},
    {Control::EditNum_gen, "EditNum_gen", "LabelNum_genot", "Número de Genótipos:", false},
    {Control::EditNum_amb, "EditNum_amb", "LabelNum_Amb", "Número de Ambientes:", false},
    {Control::ListBoxgenot, "ListBoxgenot", "LabelColg",
     "Coluna de identificação de genótipos:", true},
    {Control::ListBoxAmb, "ListBoxAmb", "LabelColAmb",
     "Coluna de identificação de ambientes:", true},
};

QString FromUtf8(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QDialog(parent) {
  setObjectName("Form1");
  setWindowTitle("Form_Parms");
  // Closed only with its OK button: no system menu, no close box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(kClientWidth, kClientHeight);

  const QFont labelFont = ArialBlack(13);
  QPalette labelPalette = palette();
  labelPalette.setColor(QPalette::WindowText, Qt::blue);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(12, 10, 12, 10);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(6);
  grid->setColumnStretch(0, 1);
  int row = 0;
  for (const TRow& r : kRows) {
    auto* label = new QLabel(QString::fromUtf8(r.caption), this);
    label->setObjectName(r.labelName);
    label->setFont(labelFont);
    label->setPalette(labelPalette);
    QWidget* control = nullptr;
    if (r.isList) {
      auto* list = new QListWidget(this);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setFixedHeight(kListHeight);
      control = list;
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      grid->addWidget(label, row, 0, Qt::AlignTop);
    } else {
      control = new QLineEdit(this);
      grid->addWidget(label, row, 0);
    }
    control->setObjectName(r.controlName);
    control->setFixedWidth(kEntryWidth);
    label->setBuddy(control);
    grid->addWidget(control, row, 1);
    // A hidden control keeps its place: the dialog does not rearrange between the phases.
    for (QWidget* w : {static_cast<QWidget*>(label), control}) {
      QSizePolicy policy = w->sizePolicy();
      policy.setRetainSizeWhenHidden(true);
      w->setSizePolicy(policy);
    }
    controls_[r.control] = control;
    labels_[r.control] = label;
    ++row;
  }
  static_cast<QLineEdit*>(controls_[Control::EditAlpha])->setText(QStringLiteral("0.05"));

  ok_ =
      new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
  ok_->setObjectName("BitBtnFP_Ok");
  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  ok_->setMinimumWidth(90);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  grid->setRowStretch(row, 1);
  grid->addWidget(ok_, row + 1, 0, 1, 2, Qt::AlignHCenter | Qt::AlignBottom);

  // The entries in the order of the tab key: the six entries, the OK button, then the lists.
  tabOrder_ = {controls_[Control::EditAlpha],
               controls_[Control::EditGLE],
               controls_[Control::EditQME],
               controls_[Control::EditNum_rep],
               controls_[Control::EditNum_gen],
               controls_[Control::EditNum_amb],
               ok_,
               controls_[Control::ListBoxgenot],
               controls_[Control::ListBoxAmb]};
  for (std::size_t k = 0; k + 1 < tabOrder_.size(); ++k)
    setTabOrder(tabOrder_[k], tabOrder_[k + 1]);
}

void TForm1::SetCaption(const std::string& caption) {
  setWindowTitle(FromUtf8(caption));
}

void TForm1::SetControlVisible(Control control, bool visible) {
  controls_.at(control)->setVisible(visible);
  labels_.at(control)->setVisible(visible);
}

QListWidget* TForm1::List(Control list) const {
  return qobject_cast<QListWidget*>(controls_.at(list));
}

void TForm1::SetListItems(Control list, const std::vector<std::string>& items) {
  QListWidget* w = List(list);
  w->clear();
  for (const std::string& item : items) w->addItem(FromUtf8(item));
}

void TForm1::SelectListItem(Control list, int index) {
  QListWidget* w = List(list);
  if (index >= 0 && index < w->count()) {
    w->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  } else {
    w->clearSelection();
    w->setCurrentRow(-1);
  }
}

int TForm1::SelectedIndex(Control list) const {
  const QListWidget* w = List(list);
  const QList<QListWidgetItem*> selected = w->selectedItems();
  return selected.isEmpty() ? -1 : w->row(selected.front());
}

std::string TForm1::EntryText(Control edit) const {
  const auto* w = qobject_cast<const QLineEdit*>(controls_.at(edit));
  return w ? w->text().toStdString() : std::string();
}

// The run sets the caption and the controls of each phase; the dialog only has to be shown.
void TForm1::ShowModal(TParamsPhase, const std::string&) {
  exec();
}

QWidget* TForm1::ControlWidget(Control control) const {
  return controls_.at(control);
}
QLabel* TForm1::ControlLabel(Control control) const {
  return labels_.at(control);
}

void TForm1::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CenterOnScreen(*this);
  // The first visible entry in the tab order has the focus, as on every showing.
  for (QWidget* w : tabOrder_) {
    if (w->isVisible()) {
      w->setFocus(Qt::OtherFocusReason);
      if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
      break;
    }
  }
}

}  // namespace qv::ui
