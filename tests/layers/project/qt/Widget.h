#pragma once
// A header that pulls Qt in, for the layers_qt_header test.
#include <QWidget>
