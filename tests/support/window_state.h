// What the window must show for a connected and for a disconnected station, as one check that
// names the first thing out of place (empty when all is as it should be), so that a long run of
// cycles can stop at the first wrong state and say which.
#pragma once

#include "core/readings_text.h"
#include "station/main_form.h"

#include <QPushButton>
#include <QRadioButton>
#include <initializer_list>
#include <string>

namespace windowstate {

inline std::string Name(const QWidget* widget)
{
    return widget->objectName().toStdString();
}

// Whether the widget itself is switched on, whatever its page shows.
inline bool On(const QWidget* widget)
{
    return widget->isEnabledTo(widget->window());
}

// Nothing a download or clear leaves behind, and the counters where they may be.
inline std::string HistoryCountersProblem(const TForm1& f)
{
    const TStationRecord& s = f.Station;
    if (s.BlockCount < 0 || s.BlockCount >= HistoryBlockCount)
        return "BlockCount " + std::to_string(s.BlockCount) + " out of 0..511";
    if (s.DownloadActive > 1 || s.ClearActive > 1 || s.HistoryComplete > 1)
        return "a history flag other than 0 or 1";
    if (s.DownloadActive == 1 && s.ClearActive == 1)
        return "download and clear both running";
    if (s.DownloadActive == 1 && s.HistoryComplete == 1)
        return "a running download with the copy marked complete";
    if (f.History.RecordCount > HistoryRecordCount)
        return "RecordCount beyond 4096";
    if (!base::QuantityOfNumber(f.History.DiagramQuantity))
        return "DiagramQuantity beyond 3";
    return {};
}

inline std::string IdleHistoryProblem(const TForm1& f)
{
    if (std::string problem = HistoryCountersProblem(f); !problem.empty())
        return problem;
    if (f.Station.DownloadActive != 0 || f.Station.ClearActive != 0)
        return "a download or clear still marked as running";
    if (f.Station.BlockCount != 0)
        return "BlockCount " + std::to_string(f.Station.BlockCount) + " left over";
    if (!On(f.PageControl1))
        return "PageControl1 still locked";
    if (f.Button1->text() != QStringLiteral("Загрузить"))
        return "Button1 reads " + f.Button1->text().toStdString();
    if (f.Button2->text() != QStringLiteral("Очистить"))
        return "Button2 reads " + f.Button2->text().toStdString();
    return {};
}

// The state after the station's unplug: link panel, placeholders, only the export button on.
inline std::string DisconnectedProblem(const TForm1& f)
{
    if (f.Station.StationDevice != nullptr)
        return "StationDevice still set";
    if (f.Panel1->Caption() != StationDisconnectedText)
        return "Panel1 reads " + f.Panel1->Caption().toStdString();
    const std::pair<const gui::TPanel*, const QString*> panels[] = {{f.Panel2, &IndoorPlaceholder},
                                                                    {f.Panel3, &OutdoorPlaceholder},
                                                                    {f.Panel4, &PressurePlaceholder},
                                                                    {f.Panel5, &HumidityPlaceholder}};
    for (const auto& [panel, text] : panels)
        if (panel->Caption() != *text)
            return Name(panel) + " reads " + panel->Caption().toStdString();
    for (const QPushButton* b : {f.Button1, f.Button2, f.Button4, f.Button5, f.Button6, f.Button7})
        if (On(b))
            return Name(b) + " enabled without a station";
    if (!On(f.Button3))
        return "Button3 (export) disabled";
    if (On(f.RadioGroup1) || f.RadioGroup1->ItemIndex() != -1)
        return "RadioGroup1 enabled or with an item";
    for (const QWidget* w : std::initializer_list<const QWidget*>{
             f.LabeledEdit1, f.LabeledEdit2, f.LabeledEdit3, f.LabeledEdit4, f.LabeledEdit5, f.LabeledEdit6,
             f.LabeledEdit7, f.LabeledEdit8, f.UpDown3,      f.UpDown4,      f.UpDown5,      f.UpDown6,
             f.RadioButton1, f.RadioButton2, f.RadioButton3, f.RadioButton4, f.RadioButton5, f.RadioButton6,
             f.RadioButton7, f.RadioButton8, f.RadioButton9, f.RadioButton10})
        if (On(w))
            return Name(w) + " enabled without a station";
    return IdleHistoryProblem(f);
}

// A matched station with no download or clear running.
inline std::string ConnectedProblem(const TForm1& f)
{
    if (f.Station.StationDevice == nullptr)
        return "no StationDevice";
    const QString link = f.Panel1->Caption();
    if (link != StationConnectedText && link != StationSilentText && !link.startsWith(ReadErrorPrefix))
        return "Panel1 reads " + link.toStdString();
    for (const QPushButton* b : {f.Button1, f.Button2, f.Button3, f.Button6})
        if (!On(b))
            return Name(b) + " disabled with a station";
    const int item = f.RadioGroup1->ItemIndex();
    if (On(f.Button7) != (item >= 0 && item != 1))
        return "Button7 does not follow the selected item";
    if (item != 1 && (On(f.Button4) || On(f.Button5)))
        return "sensor code buttons on without their item";
    return IdleHistoryProblem(f);
}

// A download or clear under way: everything locked, the progress in its button.
inline std::string OperationProblem(const TForm1& f)
{
    if (std::string problem = HistoryCountersProblem(f); !problem.empty())
        return problem;
    if (On(f.PageControl1))
        return "PageControl1 not locked during an operation";
    for (const QPushButton* b : {f.Button1, f.Button2, f.Button3, f.Button4, f.Button5, f.Button6, f.Button7})
        if (On(b))
            return Name(b) + " enabled during an operation";
    return {};
}

} // namespace windowstate
