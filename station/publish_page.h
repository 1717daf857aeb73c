// The «Публикация» page of the window: a column of blocks that scrolls, one block for each way the
// readings leave the window (the MQTT broker, each weather network), so a new one is one more
// block.
#pragma once

#include <QScrollArea>

class QVBoxLayout;

class TPublishPage : public QScrollArea
{
    Q_OBJECT

public:
    explicit TPublishPage(QWidget* parent = nullptr);

    // Puts `block`, with all its controls made, at the end of the column; the page owns it. Its
    // spin boxes and combo boxes take the wheel only with the focus, so that it scrolls the page.
    void AddBlock(QWidget* block);

private:
    QVBoxLayout* Column = nullptr;
};
