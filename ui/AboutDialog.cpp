#include "ui/AboutDialog.h"

#include "app/Application.h"
#include "base/StringIds.h"
#include "ui/IconTheme.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zov {

AboutDialog::AboutDialog(ZovApp& app, QWidget* parent) : QDialog(parent) {
    auto tr = [&app](int id) { return QString::fromStdString(app.Text(id)); };
    setWindowTitle(tr(S_ABOUT_TITLE));
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(LoadIcon(app.Folders().data, "zov.svg").pixmap(32, 32));
    layout->addWidget(icon);
    layout->addWidget(new QLabel(tr(S_ABOUT_LINE1), this));
    layout->addWidget(new QLabel(tr(S_ABOUT_LINE2), this));
    // Until the program has a web site, the link leads to its own help page.
    const std::string page = app.Folders().data + "help_en/index.html";
    auto* link = new QLabel(
        QString("<a href=\"#\" style=\"color:#0000ff\">%1</a>").arg(tr(S_ABOUT_LINK).toHtmlEscaped()), this);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(link, &QLabel::linkActivated, this, [page] { OpenWithDesktop(page); });
    layout->addWidget(link);
    auto* ok = new QPushButton(tr(S_ABOUT_OK), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

} // namespace zov
