// The baseline of the idle benchmark: a bare Qt window that rewrites five labels once a second,
// about what the program's readings page does with a station that streams. Ends on SIGTERM.
#include <QApplication>
#include <QLabel>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <csignal>
#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    QWidget window;
    window.resize(607, 350);
    auto* layout = new QVBoxLayout(&window);
    QLabel* labels[5];
    for (QLabel*& label : labels) {
        label = new QLabel(&window);
        layout->addWidget(label);
    }
    int count = 0;
    QTimer second;
    QObject::connect(&second, &QTimer::timeout, [&] {
        ++count;
        const QString now = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
        for (int i = 0; i < 5; ++i)
            labels[i]->setText(QStringLiteral("Показание %1: %2 (%3)").arg(i + 1).arg(now).arg(count + i));
    });
    second.start(1000);
    window.show();
    return QApplication::exec();
}
