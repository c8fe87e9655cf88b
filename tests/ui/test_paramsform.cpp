// The parameters dialog: its layout, initial contents, tab order and the showing and hiding
// of its controls with their labels.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ui/paramsform.h"

namespace qv::testing {
namespace {

struct Row {
  Control control;
  const char* name;
  const char* label;
  const char* caption;
  const char* initial;
};

// Top to bottom.
const Row kRows[] = {
    {Control::EditAlpha, "EditAlpha", "LabelAlpha", "Nível de Significância:", "0.05"},
    {Control::EditGLE, "EditGLE", "LabelGLE", "Graus de Liberdade do resíduo:", ""},
    {Control::EditQME, "EditQME", "LabelQME", "Quadrado Médio do Resíduo:", ""},
    {Control::EditNum_rep, "EditNum_rep", "LabelRepeticao", "Número de repetições das médias:", ""},
    {Control::EditNum_gen, "EditNum_gen", "LabelNum_genot", "Número de Genótipos:", ""},
    {Control::EditNum_amb, "EditNum_amb", "LabelNum_Amb", "Número de Ambientes:", ""},
    {Control::ListBoxgenot, "ListBoxgenot", "LabelColg",
     "Coluna de identificação de genótipos:", nullptr},
    {Control::ListBoxAmb, "ListBoxAmb", "LabelColAmb",
     "Coluna de identificação de ambientes:", nullptr},
};

TEST(Form1, LaysOutItsLabelsEntriesAndListsTopToBottom) {
  ui::TForm1 form;
  form.show();
  EXPECT_EQ(form.windowTitle().toStdString(), "Form_Parms");
  EXPECT_EQ(form.size(), QSize(468, 364));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowSystemMenuHint));
  int previousTop = -1;
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.name);
    auto* label = form.findChild<QLabel*>(r.label);
    QWidget* control = form.findChild<QWidget*>(r.name);
    ASSERT_TRUE(label && control);
    EXPECT_EQ(label->text().toStdString(), r.caption);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(label->font().pixelSize(), 13);
    EXPECT_EQ(label->font().family().toStdString(), "Arial Black");
    EXPECT_EQ(control->width(), 121);
    EXPECT_GE(control->x(), label->x() + label->sizeHint().width());  // the label is not cut
    EXPECT_GE(form.width() - (control->x() + control->width()), 0);
    EXPECT_GT(control->y(), previousTop);
    previousTop = control->y();
    if (r.initial) {
      EXPECT_EQ(qobject_cast<QLineEdit*>(control)->text().toStdString(), r.initial);
    } else {
      auto* list = qobject_cast<QListWidget*>(control);
      ASSERT_TRUE(list);
      EXPECT_EQ(list->count(), 0);
      EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    }
  }
  EXPECT_EQ(form.OkButton()->objectName().toStdString(), "BitBtnFP_Ok");
  EXPECT_EQ(form.OkButton()->text().toStdString(), "OK");
  EXPECT_GT(form.OkButton()->y(), previousTop);
  EXPECT_TRUE(form.OkButton()->isDefault());
}

TEST(Form1, TabGoesThroughTheEntriesThenOkThenTheLists) {
  ui::TForm1 form;
  form.show();
  std::vector<std::string> order;
  QWidget* w = form.ControlWidget(Control::EditAlpha);
  do {
    if (w->focusPolicy() & Qt::TabFocus) order.push_back(w->objectName().toStdString());
    w = w->nextInFocusChain();
  } while (w != form.ControlWidget(Control::EditAlpha) && order.size() < 20);
  EXPECT_EQ(order, (std::vector<std::string>{"EditAlpha", "EditGLE", "EditQME", "EditNum_rep",
                                             "EditNum_gen", "EditNum_amb", "BitBtnFP_Ok",
                                             "ListBoxgenot", "ListBoxAmb"}));
}

TEST(Form1, ControlsAndLabelsShowAndHideTogetherInPlace) {
  ui::TForm1 form;
  form.show();
  const QPoint before = form.ControlWidget(Control::EditNum_gen)->pos();
  for (Control c : {Control::EditAlpha, Control::EditGLE, Control::EditQME, Control::EditNum_rep})
    form.SetControlVisible(c, false);
  EXPECT_FALSE(form.ControlLabel(Control::EditQME)->isVisible());
  EXPECT_FALSE(form.ControlWidget(Control::EditQME)->isVisible());
  EXPECT_TRUE(form.ControlLabel(Control::EditNum_gen)->isVisible());
  // The dialog does not rearrange: what stays keeps its place.
  EXPECT_EQ(form.ControlWidget(Control::EditNum_gen)->pos(), before);
}

TEST(Form1, ListsAnswerTheirSelection) {
  ui::TForm1 form;
  form.SetListItems(Control::ListBoxgenot, {"gen", "env", "yield"});
  form.SelectListItem(Control::ListBoxgenot, 2);
  EXPECT_EQ(form.SelectedIndex(Control::ListBoxgenot), 2);
  form.SelectListItem(Control::ListBoxgenot, 3);  // beyond the list: no selection
  EXPECT_EQ(form.SelectedIndex(Control::ListBoxgenot), -1);
  form.SetListItems(Control::ListBoxgenot, {"só"});
  EXPECT_EQ(form.SelectedIndex(Control::ListBoxgenot), -1);
  EXPECT_EQ(qobject_cast<QListWidget*>(form.ControlWidget(Control::ListBoxgenot))->item(0)->text(),
            QString::fromUtf8("só"));
  form.SetCaption("Parâmetros para produção");
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Parâmetros para produção"));
}

}  // namespace
}  // namespace qv::testing
