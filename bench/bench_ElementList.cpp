// How long the element list takes to rebuild, and to load one record into
// the panel, for databases of growing size.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "db/ElementList.h"
#include "db/ElementSelection.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "platform/Dialogs.h"
#include "platform/QtTimer.h"
#include "platform/SteadyClock.h"
#include "ui/FrmMain.h"
#include "ui/PropertiesPanel.h"
#include "ui/ToolbarMonitoringView.h"
#include "ui/WidgetMeterView.h"
#include "ui/WidgetPanelView.h"
#include "ui/WidgetPingField.h"
#include "ui/WidgetTreeView.h"

namespace {

class SilentDialogs : public nms::Dialogs {
protected:
    nms::BoxAnswer present(const nms::MessageBoxRequest& box) override { return box.defaultButton; }
};

QByteArray database(int records)
{
    QByteArray bytes;
    for (int i = 0; i < records; ++i) {
        const QByteArray mac =
            QByteArray::number(0x001A2B000000LL + i, 16).toUpper().rightJustified(12, '0');
        bytes += "[" + mac + "]\r\nNAME=ELEMENT " + QByteArray::number(i).leftJustified(8, ' ') +
                 "\r\nIP=198.18.0.10\r\nMASK=255.255.255.0\r\nGW=198.18.0.1\r\n"
                 "REMOTE=198.18.0.20\r\nINPUT=0\r\nTYPE=0\r\nTX=0\r\nROLE=" +
                 QByteArray(i % 2 ? "2" : "1") +
                 "\r\nSN=1\r\nVER=3.4\r\nSFN=0\r\nBUF=1\r\nATT=20\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\n";
    }
    return bytes;
}

struct Station {
    QTemporaryDir dir;
    nms::QtTimerFactory timers;
    nms::FrmMain window{timers};
    SilentDialogs dialogs;
    nms::PrivateProfileStore store;
    nms::IniRoutines ini{store};
    nms::SteadyClock clock;
    const QString iniPath = dir.filePath(QStringLiteral("nms.ini"));
    nms::PropertiesPanel panel{window.controls()};
    nms::WidgetPanelView panelView{window.controls(), &panel};
    nms::WidgetTreeView treeView{window.controls()};
    nms::WidgetMeterView meterView{window.controls()};
    nms::WidgetPingField pingField{window.controls()};
    nms::ToolbarMonitoringView monitoringView{window.controls()};
    nms::ElementList list{dialogs, ini, iniPath, treeView, meterView, panelView};
    nms::ElementSelection selection{dialogs, ini, iniPath, panelView, pingField, monitoringView};

    explicit Station(int records)
    {
        QFile file(iniPath);
        if (file.open(QIODevice::WriteOnly))
            file.write(database(records));
    }
};

void BM_LoadConfig(benchmark::State& state)
{
    Station station(static_cast<int>(state.range(0)));
    for (auto _ : state)
        station.list.Load_Config();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadConfig)->Arg(10)->Arg(60)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_SelectElement(benchmark::State& state)
{
    Station station(static_cast<int>(state.range(0)));
    station.list.Load_Config();
    QTreeWidget* tree = station.window.controls().TreeView1;
    int i = 0;
    for (auto _ : state)
        station.selection.SelectElement(tree->topLevelItem(i++ % tree->topLevelItemCount())
                                            ->data(0, nms::WidgetTreeView::kNodeKeyRole)
                                            .toString());
}
BENCHMARK(BM_SelectElement)->Arg(60)->Arg(500)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
