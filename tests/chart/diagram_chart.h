// A chart set up as the daily diagram's window layout sets it, for the drawing tests and the benchmark.
#pragma once

#include "chart/bar_series.h"
#include "chart/chart.h"

#include <array>
#include <memory>

struct TDiagramChart
{
    TChart Chart;
    TBarSeries* Series = nullptr;

    TDiagramChart()
    {
        Chart.resize(505, 321);
        Chart.SetMarginLeft(2);
        Chart.SetMarginTop(2);
        Chart.SetMarginRight(2);
        Chart.SetMarginBottom(2);
        Chart.Gradient().SetVisible(true);
        Chart.Gradient().SetEndColor(8454016);
        Chart.Title().SetColor(8454016);
        Chart.Title().Font().SetName(QStringLiteral("Arial"));
        Chart.Title().Font().SetHeight(-16);
        Chart.Title().Font().SetColor(clBlue);
        Chart.Title().SetText(QStringList{QString()});
        Chart.Legend().SetAlignment(TLegendAlignment::laLeft);
        Chart.BackWall().Brush().SetColor(clWhite);
        Chart.SetView3D(false);
        Chart.SetBevelWidth(0);
        for (TChartAxis* axis : {Chart.BottomAxis(), Chart.TopAxis()}) {
            SetFixed(axis);
            axis->SetIncrement(1);
            axis->SetMaximum(24);
            axis->SetMinimum(-1);
            axis->SetLabelsOnAxis(false);
            axis->SetLabelsSeparation(40);
        }
        Chart.BottomAxis()->SetLabelsMultiLine(true);
        SetFixed(Chart.LeftAxis());
        Chart.LeftAxis()->SetMaximum(1);
        for (TChartAxis* axis : {Chart.RightAxis()}) {
            axis->SetMinorTickCount(0);
            axis->SetMinorTickLength(0);
            axis->SetTickLength(2);
        }
        Chart.DepthAxis()->SetTickLength(2);

        Series = Chart.OwnSeries(std::make_unique<TBarSeries>());
        Series->SetColorEachPoint(true);
        Series->SetSeriesColor(clRed);
        Series->SetShowInLegend(false);
        Series->Marks().SetVisible(false);
        Series->Marks().SetArrowLength(8);
        Series->Marks().SetStyle(TSeriesMarksStyle::smsValue);
        Series->Marks().Font().SetName(QStringLiteral("Arial Black"));
        Series->Marks().Font().SetBold(true);
    }

    static void SetFixed(TChartAxis* axis)
    {
        axis->SetAutomatic(false);
        axis->SetAutomaticMaximum(false);
        axis->SetAutomaticMinimum(false);
        axis->SetExactDateTime(false);
        axis->LabelsFont().SetName(QStringLiteral("Arial"));
        axis->LabelsFont().SetHeight(-13);
        axis->LabelsFont().SetBold(true);
        axis->LabelsFont().SetColor(clBlack);
        axis->SetMinorTickCount(0);
        axis->SetMinorTickLength(0);
        axis->SetTickLength(2);
    }

    // What the diagram does for one day: 255 marks a missing hour (a red bar of 0).
    void ShowDay(const QString& title, const std::array<int, 24>& values)
    {
        Chart.Title().SetLine(0, title);
        Chart.LeftAxis()->SetMaximum(1000);
        Chart.LeftAxis()->SetMinimum(-100);
        Series->ClearPoints();
        int largest = -100;
        int smallest = 1000;
        int count = 0;
        for (const int v : values) {
            if (v == 255)
                continue;
            ++count;
            largest = std::max(largest, v);
            smallest = std::min(smallest, v);
        }
        if (count == 0) {
            largest = -1;
            smallest = 1;
        }
        Chart.LeftAxis()->SetMaximum(largest + 1);
        Chart.LeftAxis()->SetMinimum(smallest - 1);
        for (int h = 0; h < 24; ++h) {
            const bool missing = values[h] == 255;
            Series->AddPoint(h, missing ? 0 : values[h], QString(), missing ? clRed : clBlue);
        }
    }
};
