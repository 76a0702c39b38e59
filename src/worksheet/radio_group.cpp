#include "worksheet/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

tRadioGroup::tRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                         QWidget* parent)
    : QGroupBox(caption, parent) {
  setObjectName(name);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 2, 4, 2);
  layout->setSpacing(0);
  // An explicit exclusive group, so that the items stay exclusive even while
  // none of them is checked.
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    button->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
    group->addButton(button, i);
    layout->addWidget(button);
    buttons_.push_back(button);
  }
}

int tRadioGroup::ItemIndex() const {
  for (int i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->isChecked()) return i;
  return -1;
}

void tRadioGroup::SetItemIndex(int index) {
  if (index >= 0 && index < buttons_.size()) {
    buttons_[index]->setChecked(true);
    return;
  }
  // Clearing a selection of an exclusive group needs the group lifted briefly.
  for (QRadioButton* button : buttons_) {
    if (!button->isChecked()) continue;
    QButtonGroup* group = button->group();
    group->setExclusive(false);
    button->setChecked(false);
    group->setExclusive(true);
  }
}
