// The baseline of the start-up benchmark: a Qt Widgets program that shows an empty window of the
// program's size and ends once it has been painted.
#include "bench/station/exit_when_painted.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(607, 350);
    TExitWhenPainted exit(&window);
    window.show();
    return QApplication::exec();
}
