// The baseline of the start-up benchmark: a bare Qt Widgets program that shows a tab window of the
// program's size, seven empty tabs with the program's captions, and ends once it has been painted.
#include "bench/station/exit_when_painted.h"

#include <QApplication>
#include <QTabWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTabWidget window;
    for (const char* caption : {"Измерения", "Диаграммы", "Установки", "Справка", "Архив", "Публикация", "Оповещения"})
        window.addTab(new QWidget, QString::fromUtf8(caption));
    window.resize(607, 350);
    TExitWhenPainted exit(&window);
    window.show();
    return QApplication::exec();
}
