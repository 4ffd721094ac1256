// The About box: title, two lines, a link to the help page, OK.
#pragma once

#include <QDialog>
#include <string>

namespace zov {

class ZovApp;

// Opens a file or address with the desktop's handler (xdg-open, no shell); silent on failure.
void OpenWithDesktop(const std::string& target);

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    AboutDialog(ZovApp& app, QWidget* parent);
};

} // namespace zov
