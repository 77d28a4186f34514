// The modal import-filter dialog: the converter command template and the list of file
// types loaded through it, with a Test that converts a generated picture through the
// command as typed. The two settings are read when the dialog opens and written on OK,
// both under the import-filter lock; Cancel and Test change no setting.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <string>
#include <string_view>

class QLineEdit;

namespace gq {

// The types field as OK and Test leave it: the stored form of the type list (separator
// characters become blanks, runs of white space one blank, leading white space
// dropped) with trailing white space trimmed too.
std::string NormaliseTypesField(std::string_view text);

class ImportFilterDialog : public QDialog {
 public:
  explicit ImportFilterDialog(QWidget* parent = nullptr);

  // "&Test": normalises the types field, then converts "t e s t.ppm" with the command
  // and shows "Test OK" or "Test failed." with the command line that ran.
  bool Test();

 protected:
  void accept() override;

 private:
  QLineEdit* m_Command;
  QLineEdit* m_Types;
};

}  // namespace gq
