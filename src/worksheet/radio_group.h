// A captioned group of exclusive radio buttons addressed by item index, as
// the worksheet's "Form of prior..." and "Required 95% limits..." choices use
// it.  Only one item is selected at a time; -1 means none.
#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QRadioButton;

class tRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  // `name` becomes the group's objectName; item i is named name_i.
  tRadioGroup(const QString& name, const QString& caption, const QStringList& items,
              QWidget* parent = nullptr);

  int ItemIndex() const;
  // Selects item `index`; an index outside the items clears the selection.
  void SetItemIndex(int index);
  int Count() const { return static_cast<int>(buttons_.size()); }
  QRadioButton* Item(int index) const { return buttons_.at(index); }

 private:
  QList<QRadioButton*> buttons_;
};
