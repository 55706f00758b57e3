// The about box: the program's version and those of the libraries it runs
// with.
#pragma once

#include <QString>
#include <QWidget>

namespace vivurozed {

// Rich text: program, Qt, libpng and JPEG library versions.
QString AboutText();
void ShowAboutBox(QWidget* parent);

}  // namespace vivurozed
